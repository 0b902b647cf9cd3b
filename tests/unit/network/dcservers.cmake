arv_add_test(test_dcservers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dcservers_test.cpp
  DEPS arv_network_dcservers Qt6::Core GTest::gtest_main)
