# The group windows open from the main window's Groups and Query-Based Distribution Groups.
target_link_libraries(arvendel PRIVATE arv_groups_wiring)
