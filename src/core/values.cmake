# Attribute values and conversions: time zones and file times, filter escaping, binary
# values as text, group and account-security operations, the process-wide name caches.
arv_add_library(arv_core_values
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unValuesTime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/datetimetext.h ${CMAKE_CURRENT_LIST_DIR}/datetimetext.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValuesText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValues.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValuesAccounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValuesCaches.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValuesSummary.cpp
  DEPS arv_core_search arv_core_localzone arv_security arv_adsi arv_office Qt6::Core)
# The product's web address ends the credit line of office outputs; none is named by default.
set(ARV_WEB_ADDRESS "" CACHE STRING "Web address named in the credit line of workbooks and documents")
target_compile_definitions(arv_core_values PRIVATE ARV_VERSION_TEXT="${PROJECT_VERSION}"
                           ARV_WEB_ADDRESS="${ARV_WEB_ADDRESS}")
