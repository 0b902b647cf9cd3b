# Lists the users of a (large) test domain through the search wrapper and through
# ldapsearch with the same filter, attributes and page size; prints both times.
if(TARGET arv_testsupport)
  add_executable(search_bench ${CMAKE_CURRENT_LIST_DIR}/search_bench.cpp)
  target_link_libraries(search_bench PRIVATE arv_core_search arv_adsi arv_testsupport)
endif()
