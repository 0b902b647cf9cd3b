# The one composer of LDAP filters (RFC 4515) every window and the command-line tool use.
arv_add_library(arv_query_filter
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/filtercompose.h ${CMAKE_CURRENT_LIST_DIR}/filtercompose.cpp
  DEPS arv_core_values Qt6::Core)
