if(TARGET arv_bulk_replace)
  arv_add_test(test_replace_engine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/replace_engine_test.cpp
    DEPS arv_bulk_replace GTest::gtest_main)
endif()
