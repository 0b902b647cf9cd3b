if(TARGET arv_bulk_exportform)
  arv_add_test(test_bulk_exportformat_gui
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/exportformat_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/bulk_gui_main.cpp
    DEPS arv_bulk_exportform arv_office Qt6::Widgets Qt6::Test
    GUI)
endif()
