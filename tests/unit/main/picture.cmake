arv_add_test(test_main_picture SOURCES ${CMAKE_CURRENT_LIST_DIR}/picture_test.cpp
             DEPS arv_main_picture GTest::gtest_main)
