arv_add_test(search_unit_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/search_test.cpp
  DEPS arv_core_search arv_adsi GTest::gtest_main)
