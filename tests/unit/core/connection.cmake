if(TARGET arv_core_connection)
  arv_add_test(test_connection_cipher
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/connection_cipher_test.cpp
    DEPS arv_core_connection GTest::gtest_main)
endif()
if(TARGET arv_core_connection AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/connection_settings_test.cpp)
  arv_add_test(test_connection_settings
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/connection_settings_test.cpp
    DEPS arv_core_connection GTest::gtest_main)
endif()
