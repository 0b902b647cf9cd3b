arv_add_test(arv_integration_core_values
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/values_domain_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/values_cli_test.cpp
    ${PROJECT_SOURCE_DIR}/tests/integration/adsi/adsi_fixture.cpp
  DEPS arv_core_values PkgConfig::LDAP PkgConfig::LBER GTest::gtest_main
  DOMAIN)
if(TARGET arvendel-cli)
  add_dependencies(arv_integration_core_values arvendel-cli)
endif()
