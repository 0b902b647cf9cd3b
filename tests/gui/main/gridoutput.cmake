if(TARGET arv_main_gridoutput)
  arv_add_test(test_gui_gridoutput
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/gridoutput_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/gridoutput_main.cpp
    DEPS arv_export_testsupport arv_main_gridoutput Qt6::Widgets
    GUI)
  arv_add_test(test_gui_gridoutput_document
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/gridoutput_doc_test.cpp ${CMAKE_CURRENT_LIST_DIR}/gridoutput_main.cpp
            ${PROJECT_SOURCE_DIR}/tests/integration/adsi/adsi_fixture.cpp
    DEPS arv_export_testsupport arv_main_gridoutput arv_main_quickpanel arv_registry arv_core_connection Qt6::Widgets
    DOMAIN GUI)
  target_include_directories(test_gui_gridoutput_document PRIVATE ${PROJECT_SOURCE_DIR}/tests/integration/adsi)
endif()
