# arvendel-cli trustees: the per-trustee rights of the security views.
target_link_libraries(arvendel-cli PRIVATE arv_userprop_security)
