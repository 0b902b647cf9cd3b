arv_add_test(search_integration_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_domain_test.cpp
          ${PROJECT_SOURCE_DIR}/tests/integration/adsi/adsi_fixture.cpp
  DEPS arv_core_search arv_adsi GTest::gtest_main
  DOMAIN)
target_include_directories(search_integration_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/integration/adsi)
