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
    # Under a sanitizer (its options are set for that run only) the wrappers must not open the
    # C library with RTLD_DEEPBIND, which the sanitizer runtime refuses; the runtime linked to
    # the test then comes after the preloaded wrappers.
    if [ -n "${ASAN_OPTIONS:-}" ]; then
        NSS_WRAPPER_DISABLE_DEEPBIND=1
        RESOLV_WRAPPER_DISABLE_DEEPBIND=1
        ASAN_OPTIONS=$ASAN_OPTIONS:verify_asan_link_order=0
        export NSS_WRAPPER_DISABLE_DEEPBIND RESOLV_WRAPPER_DISABLE_DEEPBIND ASAN_OPTIONS
    fi
    export NSS_WRAPPER_HOSTS LD_PRELOAD
fi
exec "$@"
