# Connection settings and credentials: the stored settings (registry), the credential
# cipher, the process-wide connection context and name translation.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/unConnection.cpp)
  set(_arv_conn_sources ${CMAKE_CURRENT_LIST_DIR}/unConnection.cpp)
else()
  set(_arv_conn_sources)
endif()
arv_add_library(arv_core_connection
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unCipher.cpp
    ${_arv_conn_sources}
  DEPS arv_core_values arv_registry Qt6::Core)
