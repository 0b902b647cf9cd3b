arv_add_test(test_netwalk
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netwalk_test.cpp
  DEPS arv_network_walk Qt6::Core GTest::gtest_main)
