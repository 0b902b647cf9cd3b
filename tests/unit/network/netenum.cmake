arv_add_test(test_netenum
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netenum_test.cpp
  DEPS arv_netenum Qt6::Core GTest::gtest_main)
