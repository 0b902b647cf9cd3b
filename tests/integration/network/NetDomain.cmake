# The network domain: a test domain that serves its own DNS zone and has a second domain
# controller, for the network browser and server information tests. It is a domain of its own
# (not the shared one) because turning on DNS and joining a controller restarts the first
# controller, which tests of other folders must not see. A developer may point it at their own
# domain folder (it is then upgraded in place).
include_guard(GLOBAL)

set(ARV_NET_DOMAIN_DIR "${CMAKE_BINARY_DIR}/netdomain" CACHE PATH "Folder of the network test domain")
set(ARV_NET_DOMAIN_ADDR "127.0.0.24" CACHE STRING "Loopback address of the network test domain's first controller")
set(ARV_NET_DOMAIN_ADDR2 "127.0.0.25" CACHE STRING "Loopback address of its second controller")

set(_arv_net_script ${PROJECT_SOURCE_DIR}/tests/domain/testdomain.sh)
add_test(NAME netdomain_start
         COMMAND bash -c "bash \"$0\" up --dir \"$1\" --addr \"$2\" --dns && bash \"$0\" join-dc --dir \"$1\" --addr2 \"$3\""
                 ${_arv_net_script} ${ARV_NET_DOMAIN_DIR} ${ARV_NET_DOMAIN_ADDR} ${ARV_NET_DOMAIN_ADDR2})
set_tests_properties(netdomain_start PROPERTIES FIXTURES_SETUP netdomain TIMEOUT 900)
add_test(NAME netdomain_stop COMMAND bash ${_arv_net_script} stop --dir ${ARV_NET_DOMAIN_DIR})
set_tests_properties(netdomain_stop PROPERTIES FIXTURES_CLEANUP netdomain TIMEOUT 120)

# arv_add_netdomain_test(<name> SOURCES ... [DEPS ...] [LOCK_DC2])
#   Like arv_add_test(... DOMAIN GUI), against the network domain, whose controllers' host names
#   the system's resolver of these tests (and of nothing else) knows, as a domain member's does
#   (tests/support/test-resolver.sh). LOCK_DC2: the tests stop or need the second controller,
#   so they never run beside each other.
function(arv_add_netdomain_test name)
  cmake_parse_arguments(A "LOCK_DC2" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} arv_testsupport GTest::gtest GTest::gmock)
  set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR /usr/bin/env
               "ARV_TEST_DOMAIN=${ARV_NET_DOMAIN_DIR}" "QT_QPA_PLATFORM=offscreen"
               "ARV_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "ARV_BINARY_DIR=${PROJECT_BINARY_DIR}"
               "XDG_STATE_HOME=${PROJECT_BINARY_DIR}/test-state" "XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-config"
               /bin/sh ${PROJECT_SOURCE_DIR}/tests/support/test-resolver.sh)
  set(props FIXTURES_REQUIRED netdomain)
  if(A_LOCK_DC2)
    list(APPEND props RESOURCE_LOCK netdomain_dc2)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props} TIMEOUT 600)
endfunction()
