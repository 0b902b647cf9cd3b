# Runs a report that matches every user through the result window (offscreen) and ldapsearch
# with the same filter, attributes and page size; prints times, ratio and the window's
# longest unresponsive stretch.
if(TARGET arv_testsupport AND TARGET arv_reports)
  add_executable(reports_bench ${CMAKE_CURRENT_LIST_DIR}/reports_bench.cpp)
  target_link_libraries(reports_bench PRIVATE arv_reports arv_reports_core arv_testsupport Qt6::Widgets)
endif()
