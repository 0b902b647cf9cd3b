# arvendel-cli account: the account settings of the user property dialog.
target_link_libraries(arvendel-cli PRIVATE arv_userprop)
