# Lists the users of a (large) test domain through the search wrapper and through
# ldapsearch with the same filter, attributes and page size; prints both times; then the
# start-up of arvendel-cli reading one user, cold and warm schema cache, against ldapsearch.
if(TARGET arv_testsupport)
  add_executable(search_bench ${CMAKE_CURRENT_LIST_DIR}/search_bench.cpp)
  target_link_libraries(search_bench PRIVATE arv_core_search arv_adsi arv_testsupport)
  target_compile_definitions(search_bench PRIVATE ARV_CLI_PATH="$<TARGET_FILE:arvendel-cli>")
  add_dependencies(search_bench arvendel-cli)
endif()
