arv_add_test(test_gui_quickpanel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/quickpanel_gui_test.cpp ${CMAKE_CURRENT_LIST_DIR}/picture_gui_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/quickpanel_support.h ${CMAKE_CURRENT_LIST_DIR}/usergrid_main.cpp
          ${PROJECT_SOURCE_DIR}/tests/integration/adsi/adsi_fixture.cpp
  DEPS arv_main_quickpanel arv_registry Qt6::Widgets Qt6::Test DOMAIN GUI)
target_include_directories(test_gui_quickpanel PRIVATE ${PROJECT_SOURCE_DIR}/tests/integration/adsi)
