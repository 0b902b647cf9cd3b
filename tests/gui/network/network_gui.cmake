arv_add_netdomain_test(test_gui_network
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/netopenenum_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/serverinfo_gui_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/wiring_gui_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/network_gui_support.h ${CMAKE_CURRENT_LIST_DIR}/network_gui_main.cpp
          ${PROJECT_SOURCE_DIR}/tests/gui/main/mainwindow_support.cpp
  DEPS arv_network arv_registry Qt6::Widgets
  LOCK_DC2)
