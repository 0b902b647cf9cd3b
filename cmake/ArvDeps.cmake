# Finds every library of the stack. A missing one stops configuration and names the Debian
# package that provides it; scripts/install-deps.sh installs them all.
find_package(PkgConfig)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config is missing: install the Debian package 'pkg-config' (or run scripts/install-deps.sh)")
endif()

macro(arv_require_pkg target module debian_pkg)
  pkg_check_modules(${target} QUIET IMPORTED_TARGET GLOBAL ${module})
  if(NOT ${target}_FOUND)
    message(FATAL_ERROR "${module} is missing: install the Debian package '${debian_pkg}' (or run scripts/install-deps.sh)")
  endif()
  # Some modules name their headers' folder as "-isystem DIR" (Debian's krb5 and
  # krb5-gssapi). FindPkgConfig turns that into an include folder on the first configure of a
  # build tree only, and leaves it among the compile options on every later one: the compile
  # line of everything that links the module changed, and the first re-configure (demo.sh
  # after test.sh) rebuilt every object from platform/adsi up. The target is set from the
  # cached results, the same on every configure.
  set_target_properties(PkgConfig::${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "$CACHE{${target}_INCLUDE_DIRS}"
    INTERFACE_COMPILE_OPTIONS "$CACHE{${target}_CFLAGS_OTHER}")
endmacro()

find_package(Qt6 QUIET COMPONENTS Core Gui Widgets Network Test)
if(NOT Qt6_FOUND)
  message(FATAL_ERROR "Qt 6 is missing: install the Debian package 'qt6-base-dev' (or run scripts/install-deps.sh)")
endif()

arv_require_pkg(LDAP ldap libldap-dev)
arv_require_pkg(LBER lber libldap-dev)
arv_require_pkg(SASL libsasl2 libsasl2-dev)
arv_require_pkg(KRB5 krb5 libkrb5-dev)
arv_require_pkg(GSSAPI krb5-gssapi libkrb5-dev)
arv_require_pkg(JPEG libjpeg libjpeg-dev)
arv_require_pkg(XLSXWRITER xlsxwriter libxlsxwriter-dev)
arv_require_pkg(LIBZIP libzip libzip-dev)
arv_require_pkg(SQLITE3 sqlite3 libsqlite3-dev)

if(ARV_BUILD_TESTS)
  find_package(GTest QUIET)
  if(NOT GTest_FOUND)
    message(FATAL_ERROR "GoogleTest is missing: install the Debian package 'libgtest-dev' (or run scripts/install-deps.sh)")
  endif()
  include(GoogleTest)
endif()
if(ARV_BUILD_BENCH)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(FATAL_ERROR "Google Benchmark is missing: install the Debian package 'libbenchmark-dev' (or run scripts/install-deps.sh)")
  endif()
endif()
