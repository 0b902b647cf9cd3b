arv_add_test(test_netserver
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netserver_test.cpp
  DEPS arv_network_server Qt6::Core GTest::gtest_main)
