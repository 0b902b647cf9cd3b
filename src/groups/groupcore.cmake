# Groups without windows: the group lists, members and pending membership changes, the member
# preview of query-based groups, the manager's update right. Shared by the windows, the
# command-line tool and the benchmark.
arv_add_library(arv_groups_core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unGroupList.h ${CMAKE_CURRENT_LIST_DIR}/unGroupList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unGroupMembers.h ${CMAKE_CURRENT_LIST_DIR}/unGroupMembers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unEnumMembersThread.h ${CMAKE_CURRENT_LIST_DIR}/unEnumMembersThread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unGroupRights.h ${CMAKE_CURRENT_LIST_DIR}/unGroupRights.cpp
  DEPS arv_core_connection arv_core_values arv_core_search arv_query_filter arv_security arv_adsi Qt6::Core)
