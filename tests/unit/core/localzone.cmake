arv_add_test(test_core_localzone
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/localzone_test.cpp
  DEPS arv_core_localzone GTest::gtest_main)
