arv_add_test(test_integration_usergrid
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/usergrid_domain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/usergrid_ldaptool.h
          ${CMAKE_CURRENT_LIST_DIR}/usergrid_proxy.h
  DEPS arv_main_usergrid Qt6::Widgets Qt6::Test DOMAIN GUI)
