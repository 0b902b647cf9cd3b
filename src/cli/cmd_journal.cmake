# arvendel-cli journal: the change journal's listing and undo (the recorder itself is installed
# by main.cpp for every command).
target_link_libraries(arvendel-cli PRIVATE arv_journal)
