arv_add_test(test_main_usergrid SOURCES ${CMAKE_CURRENT_LIST_DIR}/usergrid_test.cpp
             DEPS arv_main_usergrid GTest::gtest_main)
