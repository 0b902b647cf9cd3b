arv_add_test(arv_unit_core_values
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/values_time_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/values_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/values_ops_test.cpp
  DEPS arv_core_values GTest::gtest_main)
