# Real jig backends (included by the top CMakeLists after qjig_core exists).
#
# tty (TtyFtdi) and the vendor D2XX loader (D2xxFtdi) are plain core sources:
# the first needs only the kernel, the second loads the library at run time.
# libftdi1 is compiled in only when pkg-config finds it.

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(LIBFTDI1 IMPORTED_TARGET libftdi1)
  pkg_check_modules(LIBUSB1 IMPORTED_TARGET libusb-1.0)
endif()
if(LIBFTDI1_FOUND AND LIBUSB1_FOUND)
  target_compile_definitions(qjig_core PUBLIC QJ_HAVE_LIBFTDI1=1)
  target_link_libraries(qjig_core PUBLIC PkgConfig::LIBFTDI1 PkgConfig::LIBUSB1)
  message(STATUS "Jig backends: tty, d2xx (loaded at run time), libftdi1 ${LIBFTDI1_VERSION}")
else()
  message(STATUS "Jig backends: libftdi1 not found (install libftdi1-dev and pkg-config); "
                 "building tty and d2xx (loaded at run time) only")
endif()

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # The virtual jig behind a pseudo-terminal, for the tty path without hardware.
  add_executable(qjig-sim ${CMAKE_SOURCE_DIR}/src/tools/qjig_sim.cpp)
  target_link_libraries(qjig-sim PRIVATE qjig_sim)
  target_compile_options(qjig-sim PRIVATE ${QJ_WARNINGS})
endif()

if(QJ_TESTS)
  # The fake vendor library links the core into a shared object.
  set_target_properties(qjig_core qjig_sim PROPERTIES POSITION_INDEPENDENT_CODE ON)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/fake_d2xx ${CMAKE_BINARY_DIR}/tests/fake_d2xx)
  # core_tests is defined later (tests/); hook it up once the whole tree is read.
  function(qj_backend_tests)
    if(TARGET core_tests)
      add_dependencies(core_tests fake_d2xx)
      target_compile_definitions(core_tests PRIVATE QJ_FAKE_D2XX="$<TARGET_FILE:fake_d2xx>")
      if(TARGET qjig-sim)
        add_dependencies(core_tests qjig-sim)
      endif()
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qj_backend_tests)
endif()
