# The queries' plain logic, without windows: the last-logon age, the filters of Find User,
# the filter builder's conditions, the stored query records.
arv_add_library(arv_query_logic
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/lastlogon.h ${CMAKE_CURRENT_LIST_DIR}/lastlogon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/findfilter.h ${CMAKE_CURRENT_LIST_DIR}/findfilter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filterconditions.h ${CMAKE_CURRENT_LIST_DIR}/filterconditions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/savedqueries.h ${CMAKE_CURRENT_LIST_DIR}/savedqueries.cpp
  DEPS arv_query_filter arv_core_values arv_main_catalogue arv_registry Qt6::Core)
