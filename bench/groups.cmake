# The Members tab's loader on a large group against ldapsearch running the same requests.
if(TARGET arv_testsupport AND TARGET arv_groups_core)
  add_executable(groups_members_bench ${CMAKE_CURRENT_LIST_DIR}/groups_members_bench.cpp)
  target_link_libraries(groups_members_bench PRIVATE arv_groups_core arv_core_connection arv_testsupport)
endif()
