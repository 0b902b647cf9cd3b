# The user property dialog with its account pages and sub-dialogs (hours, workstations,
# groups, manager), and the account rules they share.
arv_add_library(arv_userprop
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unUserProp.h ${CMAKE_CURRENT_LIST_DIR}/unUserProp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropTabs.h
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropGeneral.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropAccount.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropProfile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropOrganization.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unUserPropExchange.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unHours.h ${CMAKE_CURRENT_LIST_DIR}/unHours.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unLogonWorkstations.h ${CMAKE_CURRENT_LIST_DIR}/unLogonWorkstations.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unSelectGroups.h ${CMAKE_CURRENT_LIST_DIR}/unSelectGroups.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unManager.h ${CMAKE_CURRENT_LIST_DIR}/unManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unSecurityViews.h ${CMAKE_CURRENT_LIST_DIR}/unSecurityViews.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unBussPhone.h ${CMAKE_CURRENT_LIST_DIR}/unBussPhone.cpp
    ${CMAKE_CURRENT_LIST_DIR}/unExchangeDialogs.h ${CMAKE_CURRENT_LIST_DIR}/unExchangeDialogs.cpp
  DEPS arv_userprop_logic arv_userprop_raw arv_userprop_security arv_adssecurity arv_main_quickpanel arv_main_catalogue arv_query_find arv_query_filter arv_core_connection
       arv_core_values arv_core_search arv_adsi arv_options arv_ui Qt6::Core Qt6::Gui Qt6::Widgets)
# The RAW Data page and the list-to-workbook export (the property dialog, its security views
# and the group windows).
arv_add_library(arv_userprop_raw
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unRawDataView.h ${CMAKE_CURRENT_LIST_DIR}/unRawDataView.cpp
  DEPS arv_core_values arv_core_search arv_security arv_adsi arv_office arv_ui Qt6::Core Qt6::Gui Qt6::Widgets)
# The account rules and the Member Of rows, without windows (the dialog and the CLI).
arv_add_library(arv_userprop_logic
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/unAccountLogic.h ${CMAKE_CURRENT_LIST_DIR}/unAccountLogic.cpp
    ${CMAKE_CURRENT_LIST_DIR}/memberof.h ${CMAKE_CURRENT_LIST_DIR}/memberof.cpp
  DEPS arv_core_connection arv_core_search arv_core_values arv_query_filter arv_security arv_adsi Qt6::Core)
# What the security views show of a descriptor, without windows (the views and the CLI).
arv_add_library(arv_userprop_security
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unSecurityLogic.h ${CMAKE_CURRENT_LIST_DIR}/unSecurityLogic.cpp
  DEPS arv_adssecurity arv_security arv_core_values Qt6::Core)
# Its place in the program: the main window's hooks (linked by the program only).
arv_add_library(arv_userprop_wiring
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unUserPropWiring.h ${CMAKE_CURRENT_LIST_DIR}/unUserPropWiring.cpp
  DEPS arv_userprop arv_main_window)
