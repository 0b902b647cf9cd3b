# User grid: listing into the grid next to ldapsearch, sorting 100,000 rows, memory per user.
add_executable(bench_usergrid ${CMAKE_CURRENT_LIST_DIR}/usergrid_bench.cpp)
target_link_libraries(bench_usergrid PRIVATE arv_main_usergrid arv_testsupport Qt6::Widgets)
