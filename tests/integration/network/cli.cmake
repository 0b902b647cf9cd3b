if(TARGET arvendel-cli)
  arv_add_netdomain_test(test_cli_network
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_network_test.cpp
    DEPS Qt6::Core GTest::gtest_main
    LOCK_DC2)
  target_compile_definitions(test_cli_network PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(test_cli_network arvendel-cli)
endif()
