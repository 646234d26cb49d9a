# Writes OUT, the header that gives every program's version resource its
# version, from the newest v* tag as the release's zip is named: v0.3.0 gives
# "0.3.0" and 0,3,0,0; three commits later "0.3.0-3-gabc1234" and 0,3,0,3;
# with no tag "snapshot-abc1234" and 0,0,0,0. VERSION, when set, is used
# instead of git's answer (scripts/release --version). The header is
# rewritten only when its text changes, so an unchanged version rebuilds
# nothing.
#
#   cmake -DSOURCE_DIR=... -DOUT=... [-DVERSION=...] -P version.cmake
if(NOT VERSION)
  execute_process(COMMAND git -C "${SOURCE_DIR}" describe --tags --match "v[0-9]*"
                  OUTPUT_VARIABLE described RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND described)
    string(SUBSTRING "${described}" 1 -1 VERSION)
  else()
    execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short HEAD
                    OUTPUT_VARIABLE commit RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed AND commit)
      set(VERSION "snapshot-${commit}")
    else()
      set(VERSION "snapshot")
    endif()
  endif()
endif()

# The four numbers Windows compares: the tag's three and the commits since it.
set(numbers 0 0 0 0)
if(VERSION MATCHES "^([0-9]+)\\.([0-9]+)(\\.([0-9]+))?(-([0-9]+)-g)?")
  set(numbers ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} 0 0)
  if(CMAKE_MATCH_4)
    list(REMOVE_AT numbers 2)
    list(INSERT numbers 2 ${CMAKE_MATCH_4})
  endif()
  if(CMAKE_MATCH_6)
    list(REMOVE_AT numbers 3)
    list(APPEND numbers ${CMAKE_MATCH_6})
  endif()
endif()
string(REPLACE ";" "," commas "${numbers}")
string(REPLACE ";" "." dots "${numbers}")

set(text "// Made by cmake/program/version.cmake at build time; not in git.
#define TRELVANE_VERSION_NUMBERS ${commas}
#define TRELVANE_VERSION_DOTTED \"${dots}\"
#define TRELVANE_VERSION_TEXT \"${VERSION}\"
")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()
