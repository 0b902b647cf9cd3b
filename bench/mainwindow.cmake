# The main window: Connect until the domain tree shows, and until the schema readers end.
if(TARGET arv_main_window AND TARGET arv_testsupport)
  add_executable(mainwindow_bench ${CMAKE_CURRENT_LIST_DIR}/mainwindow_bench.cpp
                 ${PROJECT_SOURCE_DIR}/tests/gui/main/mainwindow_support.cpp)
  target_include_directories(mainwindow_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/gui/main)
  target_link_libraries(mainwindow_bench PRIVATE arv_main_window arv_registry arv_testsupport Qt6::Widgets)
endif()
