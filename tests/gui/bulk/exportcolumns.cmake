if(TARGET arv_bulk_columns)
  arv_add_test(test_bulk_exportcolumn_gui
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/exportcolumn_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bulk_gui_main.cpp
    DEPS arv_bulk_columns arv_registry Qt6::Widgets
    GUI)
endif()
