# The main window: program start-up pieces (data module, single-instance guard), the
# connection and credentials dialogs, connecting and the domain tree, TfrmMain.
set(_arv_mw_units unDataModule unSingleInstance unConnectionDlg unCredentials unDomainTree
    unSchemaThreads unMain)
set(_arv_mw_sources "")
foreach(u IN LISTS _arv_mw_units)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${u}.cpp)
    list(APPEND _arv_mw_sources ${CMAKE_CURRENT_LIST_DIR}/${u}.cpp ${CMAKE_CURRENT_LIST_DIR}/${u}.h)
  endif()
endforeach()
# Libraries of the other units the window embeds; each is linked once it exists.
set(_arv_mw_deps Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network arv_ui)
foreach(t arv_core_search arv_core_connection arv_core_values arv_adsi arv_registry
          arv_main_catalogue arv_main_usergrid arv_main_quickpanel arv_main_picture arv_options)
  list(APPEND _arv_mw_deps $<TARGET_NAME_IF_EXISTS:${t}>)
endforeach()
arv_add_library(arv_main_window SOURCES ${_arv_mw_sources} DEPS ${_arv_mw_deps})
# The program's icon: the PNG renders of packaging/icons/org.vastrel.Arvendel.svg, the same
# files the package installs into the desktop's icon theme.
set(_arv_icon_dir ${PROJECT_SOURCE_DIR}/packaging/icons/hicolor)
file(GLOB _arv_icon_files ${_arv_icon_dir}/*/org.vastrel.Arvendel.png)
qt_add_resources(arv_main_window "arv_app_icon" PREFIX "/appicon" BASE ${_arv_icon_dir} FILES ${_arv_icon_files})
