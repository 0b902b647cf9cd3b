# Replaces one attribute on 1,000 users of a large test domain through the find-and-replace
# apply loop and through ldapmodify with the same changes; prints both times and the ratio.
# --journal: the same loop with the change journal recording against without it.
if(TARGET arv_testsupport AND TARGET arv_bulk_replace)
  add_executable(replace_bench ${CMAKE_CURRENT_LIST_DIR}/replace_bench.cpp)
  target_link_libraries(replace_bench PRIVATE arv_bulk_replace arv_journal arv_adsi arv_testsupport)
endif()
