arv_add_netdomain_test(netenum_domain_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netenum_domain_test.cpp
  DEPS arv_netenum arv_network_server Qt6::Core Qt6::Network GTest::gtest_main
  LOCK_DC2)
