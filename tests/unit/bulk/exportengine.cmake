if(TARGET arv_bulk_export)
  arv_add_test(test_bulk_exportformat
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/exportformat_test.cpp
    DEPS arv_bulk_export arv_office Qt6::Core GTest::gtest_main)
endif()
