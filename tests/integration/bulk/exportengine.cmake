# Shared by the export tests of unit/bulk, integration/bulk, gui/bulk and gui/main.
if(NOT TARGET arv_export_testsupport)
  add_library(arv_export_testsupport STATIC ${CMAKE_CURRENT_LIST_DIR}/export_support.h ${CMAKE_CURRENT_LIST_DIR}/export_support.cpp)
  target_include_directories(arv_export_testsupport PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(arv_export_testsupport PUBLIC arv_core_connection arv_testsupport GTest::gtest Qt6::Core)
endif()
if(TARGET arv_bulk_exportform AND TARGET arvendel-cli)
  arv_add_test(test_bulk_export_domain
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/export_domain_test.cpp ${CMAKE_CURRENT_LIST_DIR}/export_main.cpp
    DEPS arv_export_testsupport arv_bulk_exportform arv_bulk_export arv_bulk_columnsets arv_registry arv_core_connection Qt6::Widgets Qt6::Test
    DOMAIN GUI)
  target_compile_definitions(test_bulk_export_domain PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(test_bulk_export_domain arvendel-cli)
endif()
