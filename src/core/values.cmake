# Attribute values and conversions: time zones and file times, filter escaping, binary
# values as text, group and account-security operations, the process-wide name caches.
arv_add_library(arv_core_values
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unValuesTime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unValuesText.cpp
  DEPS Qt6::Core)
