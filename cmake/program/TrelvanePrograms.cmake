# trelvane_program_resources(<target> DESCRIPTION <text> [WINDOWED])
# Gives a Windows program its version resource (the version from the newest
# v* tag, made at build time by version.cmake) and, for a windowed program,
# the manifest (windowed.manifest). Test programs get neither, but for the one
# that checks the windows at each DPI: it must start as the monitor starts.
set(TRELVANE_PROGRAM_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TRELVANE_VERSION "" CACHE STRING "The programs' version; empty: from the newest v* tag (git describe)")

function(trelvane_version_header)
  if(TARGET trelvane_version)
    return()
  endif()
  set(header ${CMAKE_BINARY_DIR}/program/trelvane_version.h)
  # Run on every build: a new commit or tag changes the version without
  # touching any file CMake watches.
  add_custom_target(trelvane_version
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUT=${header} -DVERSION=${TRELVANE_VERSION}
            -P ${TRELVANE_PROGRAM_DIR}/version.cmake
    BYPRODUCTS ${header}
    COMMENT "The programs' version"
    VERBATIM)
endfunction()

function(trelvane_program_resources target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "WINDOWED" "DESCRIPTION" "" ${ARGN})
  trelvane_version_header()
  get_target_property(TRELVANE_PROGRAM_NAME ${target} OUTPUT_NAME)
  if(NOT TRELVANE_PROGRAM_NAME)
    set(TRELVANE_PROGRAM_NAME ${target})
  endif()
  set(TRELVANE_PROGRAM_DESCRIPTION "${ARG_DESCRIPTION}")
  set(TRELVANE_PROGRAM_COPYRIGHT "Copyright (c) 2026, the Trelvane developers. BSD 2-Clause License.")
  set(TRELVANE_PROGRAM_MANIFEST "")
  if(ARG_WINDOWED)
    # 1 is the manifest a program is started with, 24 the manifest type.
    set(TRELVANE_PROGRAM_MANIFEST "1 24 \"${TRELVANE_PROGRAM_DIR}/windowed.manifest\"")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/program/${target}.rc)
  configure_file(${TRELVANE_PROGRAM_DIR}/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR}/program)
  add_dependencies(${target} trelvane_version)
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/program/trelvane_version.h;${TRELVANE_PROGRAM_DIR}/windowed.manifest")
endfunction()
