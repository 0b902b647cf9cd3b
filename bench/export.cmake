# Exports the large test domain's users with arvendel-cli export to CSV, a workbook and SQLite
# next to ldapsearch of the same attributes; prints times, ratios and peak memory.
if(TARGET arv_testsupport AND TARGET arvendel-cli)
  add_executable(export_bench ${CMAKE_CURRENT_LIST_DIR}/export_bench.cpp)
  target_link_libraries(export_bench PRIVATE arv_testsupport Qt6::Core)
  target_compile_definitions(export_bench PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(export_bench arvendel-cli)
endif()
