arv_add_test(test_gui_mainwindow
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwindow_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/mainwindow_reentry_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_fonts_test.cpp ${CMAKE_CURRENT_LIST_DIR}/singleinstance_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_gridoutput_test.cpp ${CMAKE_CURRENT_LIST_DIR}/credentials_keyring_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_support.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mainwindow_support.h ${CMAKE_CURRENT_LIST_DIR}/mainwindow_main.cpp
  DEPS arv_main_window arv_main_gridoutput arv_office arv_registry Qt6::Widgets Qt6::Test DOMAIN GUI)
if(TARGET arvendel)
  add_dependencies(test_gui_mainwindow arvendel)
endif()
