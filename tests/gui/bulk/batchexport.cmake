if(TARGET arv_bulk_batch)
  arv_add_test(test_bulk_batchexport_gui
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/batchexport_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bulk_gui_main.cpp
    DEPS arv_export_testsupport arv_bulk_batch arv_bulk_export arv_core_connection Qt6::Widgets
    DOMAIN GUI)
endif()
