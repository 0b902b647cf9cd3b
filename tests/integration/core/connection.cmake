if(TARGET arv_core_connection)
  arv_add_test(test_connection_domain
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/connection_domain_test.cpp
    DEPS arv_core_connection PkgConfig::KRB5 GTest::gtest_main
    DOMAIN)
endif()
