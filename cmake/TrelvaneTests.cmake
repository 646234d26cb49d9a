# Helpers for declaring tests the same way in the native and the Windows tree.
#
# In the Windows tree ctest runs each test program under Wine (the toolchain's
# CMAKE_CROSSCOMPILING_EMULATOR), in a private prefix inside the build tree, with
# one persistent wineserver that the "wine" fixture starts before the first
# Windows test and stops after the last one.

set(TRELVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
# Where the virtual cables' pty links live (scripts/cable-rig, tests/README.md).
set(TRELVANE_CABLES "${CMAKE_BINARY_DIR}/cables")
# A second Windows tree on the same machine runs its own rig server, so it
# needs a port of its own (-DTRELVANE_RIG_PORT=...).
set(TRELVANE_RIG_PORT 47205 CACHE STRING "loopback TCP port of the cable rig server")
set(TRELVANE_WINE_ENV
  "WINEPREFIX=${TRELVANE_WINEPREFIX}"
  "TRELVANE_CABLES=${TRELVANE_CABLES}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "WINE=/usr/lib/wine/wine64"
  "WINESERVER=/usr/lib/wine/wineserver")

# Declares the fixture's two tests, once for the whole tree (test names are
# global to ctest, but if(TEST) only sees the current directory).
function(trelvane_wine_fixture)
  get_property(declared GLOBAL PROPERTY TRELVANE_WINE_FIXTURE)
  if(NOT WIN32 OR declared)
    return()
  endif()
  set_property(GLOBAL PROPERTY TRELVANE_WINE_FIXTURE ON)
  add_test(NAME wine_start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-server start)
  add_test(NAME wine_stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-server stop)
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine
                       ENVIRONMENT "${TRELVANE_WINE_ENV}")
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine
                       ENVIRONMENT "${TRELVANE_WINE_ENV}")
endfunction()

# Marks a test as one that runs under Wine when this is the Windows tree.
function(trelvane_test_properties name)
  if(WIN32)
    trelvane_wine_fixture()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
                         ENVIRONMENT "${TRELVANE_WINE_ENV}")
  endif()
endfunction()

# trelvane_add_gtest(<target> SOURCES <files...> [LIBS <libs...>] [LABELS <labels...>])
# Builds one GoogleTest program and registers it as one ctest test.
function(trelvane_add_gtest target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  trelvane_test_properties(${target})
  if(ARG_LABELS)
    set_tests_properties(${target} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(ARG_TIMEOUT)
    set_tests_properties(${target} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  endif()
endfunction()

# Serial tests on the virtual-cable rig: the "cables" fixture runs the rig
# server, and the modem-line library (tests/rig/modem_lines.c) is preloaded
# into the test's Wine process so that WaitCommEvent behaves on a pty as on a
# real port. Only tests marked so get it.
function(trelvane_serial_test_properties name)
  if(NOT WIN32)
    return()
  endif()
  trelvane_wine_fixture()
  get_property(declared GLOBAL PROPERTY TRELVANE_CABLES_FIXTURE_DECLARED)
  if(NOT declared)
    set_property(GLOBAL PROPERTY TRELVANE_CABLES_FIXTURE_DECLARED TRUE)
    set(rig_env "TRELVANE_CABLES=${TRELVANE_CABLES}" "TRELVANE_RIG_PORT=${TRELVANE_RIG_PORT}")
    add_test(NAME cables_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/cable-rig start)
    add_test(NAME cables_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/cable-rig stop)
    set_tests_properties(cables_start PROPERTIES FIXTURES_SETUP cables ENVIRONMENT "${rig_env}")
    set_tests_properties(cables_stop PROPERTIES FIXTURES_CLEANUP cables ENVIRONMENT "${rig_env}")
  endif()
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED "wine;cables"
    ENVIRONMENT "${TRELVANE_WINE_ENV};TRELVANE_RIG_PORT=${TRELVANE_RIG_PORT};LD_PRELOAD=${TRELVANE_MODEM_LINES}")
endfunction()
