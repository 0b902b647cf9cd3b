# The quick panel inside the main window: select, edit, apply, and columns across a restart.
arv_add_test(test_gui_quickpanel_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/quickpanel_window_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mainwindow_support.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_support.h ${CMAKE_CURRENT_LIST_DIR}/mainwindow_main.cpp
          ${PROJECT_SOURCE_DIR}/tests/integration/adsi/adsi_fixture.cpp
  DEPS arv_main_window arv_main_quickpanel arv_registry Qt6::Widgets Qt6::Test DOMAIN GUI)
target_include_directories(test_gui_quickpanel_window PRIVATE ${PROJECT_SOURCE_DIR}/tests/integration/adsi)
