# Writes the source file that holds the programs' version (run at every build:
# `git describe` changes with each commit, the project version with CMakeLists).
#   cmake -DSOURCE_DIR=... -DOUT=... -DVERSION=... -P Version.cmake
# The file is rewritten only when its text changes, so an unchanged checkout
# rebuilds nothing.
set(describe "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --always --dirty
                  OUTPUT_VARIABLE describe OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    set(describe "")
  endif()
endif()
set(text "${VERSION}")
if(describe)
  set(text "${VERSION} (git ${describe})")
endif()
set(content "// Written by cmake/Version.cmake at build time.\n#include \"jig/Version.h\"\n\nstd::string qj::versionText() { return \"${text}\"; }\n")
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUT}" "${content}")
endif()
