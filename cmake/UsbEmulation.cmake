# The emulated FT232R (included by the top CMakeLists after the backends): the
# libftdi1 backend through the real libusb stack, without hardware, on a
# umockdev testbed. Built when pkg-config finds umockdev-1.0 and the build has
# libftdi1 (scripts/deps.sh installs both).
if(PkgConfig_FOUND AND LIBFTDI1_FOUND AND LIBUSB1_FOUND AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  pkg_check_modules(UMOCKDEV IMPORTED_TARGET umockdev-1.0)
endif()
if(UMOCKDEV_FOUND)
  file(GLOB QJ_FT232R_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/tools/ft232r/*.cpp)
  add_library(qjig_ft232r STATIC ${QJ_FT232R_SOURCES})
  target_link_libraries(qjig_ft232r PUBLIC qjig_sim PRIVATE PkgConfig::UMOCKDEV)
  target_compile_options(qjig_ft232r PRIVATE ${QJ_WARNINGS})
  add_executable(qjig-usb-sim ${CMAKE_SOURCE_DIR}/src/tools/qjig_usb_sim.cpp)
  target_link_libraries(qjig-usb-sim PRIVATE qjig_ft232r)
  target_compile_options(qjig-usb-sim PRIVATE ${QJ_WARNINGS})
  message(STATUS "Emulated FT232R: umockdev ${UMOCKDEV_VERSION} (qjig-usb-sim, usb_tests)")
else()
  message(STATUS "Emulated FT232R left out: needs umockdev-1.0 (libumockdev-dev) and libftdi1 (scripts/deps.sh)")
endif()
