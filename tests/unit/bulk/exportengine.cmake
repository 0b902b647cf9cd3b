if(TARGET arv_bulk_export)
  arv_add_test(test_bulk_exportformat
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/exportformat_test.cpp
    DEPS arv_export_testsupport arv_bulk_export arv_office Qt6::Core GTest::gtest_main)
endif()
if(TARGET arv_bulk_columnsets)
  arv_add_test(test_bulk_columnsets
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/columnsets_test.cpp
    DEPS arv_bulk_columnsets arv_registry Qt6::Core GTest::gtest_main)
endif()
