# arvendel-cli account: the account settings of the user property dialog (its logic only).
target_link_libraries(arvendel-cli PRIVATE arv_userprop_logic)
