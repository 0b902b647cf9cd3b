arv_add_test(test_gui_usergrid
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/usergrid_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/usergrid_main.cpp
  DEPS arv_main_usergrid Qt6::Widgets Qt6::Test GUI)
