# Helpers for declaring tests the same way in the native and the Windows tree.
#
# In the Windows tree ctest runs each test program under Wine (the toolchain's
# CMAKE_CROSSCOMPILING_EMULATOR), in a private prefix inside the build tree, with
# one persistent wineserver that the "wine" fixture starts before the first
# Windows test and stops after the last one.

set(TRELVANE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(TRELVANE_WINE_ENV
  "WINEPREFIX=${TRELVANE_WINEPREFIX}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "WINE=/usr/lib/wine/wine64"
  "WINESERVER=/usr/lib/wine/wineserver")

function(trelvane_wine_fixture)
  # Once per tree: if(TEST) sees only the current directory's tests, and a
  # second pair would restart the server in the middle of the run.
  get_property(added GLOBAL PROPERTY TRELVANE_WINE_FIXTURE_ADDED)
  if(NOT WIN32 OR added)
    return()
  endif()
  set_property(GLOBAL PROPERTY TRELVANE_WINE_FIXTURE_ADDED TRUE)
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
