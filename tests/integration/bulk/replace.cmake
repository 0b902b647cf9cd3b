if(TARGET arv_bulk_replace)
  arv_add_test(test_replace_domain
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_domain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_fixture.h
    DEPS arv_bulk_replace GTest::gtest_main
    DOMAIN)
endif()
