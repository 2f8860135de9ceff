# cmake --install: the two programs, the udev rule for the jig, a desktop entry,
# an icon, the AppStream metainfo, the man pages and the bash completion. The
# jig's firmware images are not installed: they come with the jig. The programs
# look them up in their own folder, in the user's data folder, then in
# share/quillmore-jig/firmware of the installation.
#
# The programs live in their own folder (libexec/quillmore-jig); bin/ holds
# links to them (the programs find their folder through the resolved link, and
# from it the installation's share folder, so an unpacked tree works as well).
include(GNUInstallDirs)

set(QJ_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBEXECDIR}/quillmore-jig" CACHE STRING
    "Folder of the installed programs, relative to the prefix")
set(QJ_INSTALL_FIRMWARE_DIR "${CMAKE_INSTALL_DATADIR}/quillmore-jig/firmware")
if(IS_ABSOLUTE "${QJ_INSTALL_PROGRAM_DIR}")
  message(FATAL_ERROR "QJ_INSTALL_PROGRAM_DIR must be relative to the prefix (the programs find share/ from it)")
endif()
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/jig/firmware/JigFiles.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             QJ_INSTALL_PROGRAM_DIR="${QJ_INSTALL_PROGRAM_DIR}" QJ_INSTALL_FIRMWARE_DIR="${QJ_INSTALL_FIRMWARE_DIR}")
set(QJ_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule is installed (relative to the prefix, or absolute such as /etc/udev/rules.d)")

set(QJ_INSTALLED_PROGRAMS qjig)
if(TARGET quillmore-jig)
  list(APPEND QJ_INSTALLED_PROGRAMS quillmore-jig)
endif()
install(TARGETS ${QJ_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${QJ_INSTALL_PROGRAM_DIR})

file(RELATIVE_PATH QJ_BIN_TO_PROGRAMS "/${CMAKE_INSTALL_BINDIR}" "/${QJ_INSTALL_PROGRAM_DIR}")
foreach(p ${QJ_INSTALLED_PROGRAMS})
  install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${dir}\")
    message(STATUS \"Installing: \${dir}/${p} -> ${QJ_BIN_TO_PROGRAMS}/${p}\")
    file(CREATE_LINK \"${QJ_BIN_TO_PROGRAMS}/${p}\" \"\${dir}/${p}\" SYMBOLIC)
  ")
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/60-quillmore-jig.rules DESTINATION ${QJ_UDEV_RULES_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/qjig.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/qjig.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qjig)
if(TARGET quillmore-jig)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmore-jig.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmore-jig.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmore-jig.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The software centres' description of the program (its release: the project version).
  configure_file(${CMAKE_SOURCE_DIR}/packaging/com.quillmore.jig.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/com.quillmore.jig.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/com.quillmore.jig.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
