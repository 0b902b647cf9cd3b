# arvendel-cli group: the group lists, members and member changes.
target_link_libraries(arvendel-cli PRIVATE arv_groups_core)
