arv_add_test(test_main_catalogue SOURCES ${CMAKE_CURRENT_LIST_DIR}/catalogue_test.cpp
             DEPS arv_main_catalogue GTest::gtest_main)
