#!/bin/sh
# Runs a test with the test domain's host names known to the system's resolver of the test
# and the processes it starts, and to nothing else: nss_wrapper answers host look-ups from the
# domain folder's hosts file, resolv_wrapper sends DNS queries to the domain's own DNS server
# (testdomain.sh facts writes both files). Nothing in /etc is read for them or changed. Before
# the domain is up (listing the tests) the test runs without them.
d=${ARV_TEST_DOMAIN:+$ARV_TEST_DOMAIN/resolver}
if [ -n "$d" ] && [ -f "$d/hosts" ]; then
    NSS_WRAPPER_HOSTS=$d/hosts
    LD_PRELOAD=libnss_wrapper.so${LD_PRELOAD:+:$LD_PRELOAD}
    if [ -f "$d/resolv.conf" ]; then
        RESOLV_WRAPPER_CONF=$d/resolv.conf
        LD_PRELOAD=libresolv_wrapper.so:$LD_PRELOAD
        export RESOLV_WRAPPER_CONF
    fi
    # A sanitizer runtime linked to the test then comes after the preloaded wrappers.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0
    export NSS_WRAPPER_HOSTS LD_PRELOAD ASAN_OPTIONS
fi
exec "$@"
