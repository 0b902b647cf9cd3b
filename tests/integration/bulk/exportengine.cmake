if(TARGET arv_bulk_exportform AND TARGET arvendel-cli)
  arv_add_test(test_bulk_export_domain
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_domain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/export_main.cpp
    DEPS arv_bulk_exportform arv_bulk_export arv_bulk_columnsets arv_registry arv_core_connection Qt6::Widgets
    DOMAIN GUI)
  target_compile_definitions(test_bulk_export_domain PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(test_bulk_export_domain arvendel-cli)
endif()
