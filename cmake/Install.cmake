# cmake --install: the two programs, the udev rule for the jig, a desktop entry
# and an icon. The jig's firmware images are not installed: they come with the
# jig and are looked up in the programs' own folder.
#
# The programs live in their own folder (libexec/quillmore-jig) so that the
# firmware images have a place beside them; bin/ holds links to them (the
# programs find their folder through the resolved link).
include(GNUInstallDirs)

set(QJ_INSTALL_PROGRAM_DIR "${CMAKE_INSTALL_LIBEXECDIR}/quillmore-jig" CACHE STRING
    "Folder of the installed programs (the jig's firmware images go beside them)")
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
if(TARGET quillmore-jig)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmore-jig.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quillmore-jig.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
