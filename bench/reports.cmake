# Runs a report that matches every user through the result window (offscreen) and ldapsearch
# with the same filter, attributes and page size; prints times, ratio and the window's
# longest unresponsive stretch; then the command-line tool writing the report to a file at
# all rows and at 2,000 rows, for its peak memory.
if(TARGET arv_testsupport AND TARGET arv_reports)
  add_executable(reports_bench ${CMAKE_CURRENT_LIST_DIR}/reports_bench.cpp)
  target_link_libraries(reports_bench PRIVATE arv_reports arv_reports_core arv_testsupport Qt6::Widgets)
  target_compile_definitions(reports_bench PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(reports_bench arvendel-cli)
endif()
