# The change journal without widgets: entries and their JSON Lines form, the day files, the
# recorder the directory layer reports every write to, and undo. The program and
# arvendel-cli both use it.
arv_add_library(arv_journal
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/journalentry.h ${CMAKE_CURRENT_LIST_DIR}/journalentry.cpp
          ${CMAKE_CURRENT_LIST_DIR}/journalstore.h ${CMAKE_CURRENT_LIST_DIR}/journalstore.cpp
          ${CMAKE_CURRENT_LIST_DIR}/recorder.h ${CMAKE_CURRENT_LIST_DIR}/recorder.cpp
          ${CMAKE_CURRENT_LIST_DIR}/undo.h ${CMAKE_CURRENT_LIST_DIR}/undo.cpp
  DEPS arv_core_connection arv_core_search arv_registry arv_adsi Qt6::Core)
