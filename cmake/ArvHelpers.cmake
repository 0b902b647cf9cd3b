# arv_add_library(<name> SOURCES ... [DEPS ...])
#   A static library of one src/ folder; the folder's parent (src/) is the include root, so
#   code includes "core/unSearch.h", "platform/adsi/adspath.h" and so on.
function(arv_add_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_DEPS})
endfunction()

# arv_add_test(<name> SOURCES ... [DEPS ...] [DOMAIN] [GUI])
#   A GoogleTest binary; each test case becomes a CTest test.
#   DOMAIN: the tests need the running test domain (CTest fixture "domain"); they find its
#           connection facts through ARV_TEST_DOMAIN (the domain folder, see tests/domain).
#   GUI:    the tests create windows; they run on the offscreen Qt platform.
function(arv_add_test name)
  cmake_parse_arguments(A "DOMAIN;GUI" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} arv_testsupport GTest::gtest GTest::gmock)
  # The change journal and the settings of every program and arvendel-cli a test starts go
  # below the build tree, never to the user's own folders (tests that read them set their own):
  # a window remembers its size there, and a test must not change the user's windows.
  set(env "ARV_TEST_DOMAIN=${ARV_TEST_DOMAIN_DIR}" "QT_QPA_PLATFORM=offscreen"
          "ARV_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "ARV_BINARY_DIR=${PROJECT_BINARY_DIR}"
          "XDG_STATE_HOME=${PROJECT_BINARY_DIR}/test-state" "XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-config")
  # gtest_discover_tests flattens its PROPERTIES into one list, so a list-valued ENVIRONMENT
  # would swallow the properties after it (FIXTURES_REQUIRED was lost). The environment goes
  # through env(1) as the tests' executor instead; it also applies to test discovery.
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR /usr/bin/env ${env})
  set(props "")
  if(A_DOMAIN)
    list(APPEND props FIXTURES_REQUIRED domain)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${props} TIMEOUT 600)
endfunction()
