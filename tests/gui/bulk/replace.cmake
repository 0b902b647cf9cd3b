if(TARGET arv_bulk_replace_window)
  arv_add_test(test_gui_replace
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/replace_gui_main.cpp
    DEPS arv_bulk_replace_window Qt6::Widgets Qt6::Test DOMAIN GUI)
endif()
