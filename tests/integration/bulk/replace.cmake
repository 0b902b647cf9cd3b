if(TARGET arv_bulk_replace)
  arv_add_test(test_replace_domain
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_domain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_fixture.h
    DEPS arv_bulk_replace GTest::gtest_main
    DOMAIN)
endif()
if(TARGET arv_bulk_replace AND TARGET arvendel-cli)
  arv_add_test(test_replace_cli
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_cli_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_fixture.h
    DEPS arv_bulk_replace GTest::gtest_main
    DOMAIN)
  target_compile_definitions(test_replace_cli PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(test_replace_cli arvendel-cli)
endif()
