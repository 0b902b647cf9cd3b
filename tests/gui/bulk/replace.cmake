if(TARGET arv_bulk_replace_window)
  arv_add_test(test_gui_replace
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_gui_main.cpp
    DEPS arv_bulk_replace_window Qt6::Widgets Qt6::Test DOMAIN GUI)
endif()
if(TARGET arv_bulk_replace_wiring)
  arv_add_test(test_gui_replace_wiring
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_wiring_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_gui_main.cpp
            ${PROJECT_SOURCE_DIR}/tests/gui/main/mainwindow_support.cpp
    DEPS arv_bulk_replace_wiring arv_bulk_batch arv_query_wiring arv_registry Qt6::Widgets Qt6::Test DOMAIN GUI)
endif()
