# Connection settings and credentials: the stored settings (registry), the credential
# cipher, the process-wide connection context and name translation.
arv_add_library(arv_core_connection
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unCipher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unConnectionSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unConnection.cpp
  DEPS arv_core_search arv_core_values arv_registry arv_secrets arv_adsi Qt6::Core)
