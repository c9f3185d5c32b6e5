# `cmake --install` lays out the program folder, a command on the PATH, and the desktop's menu
# entry. The program keeps its directory copy and favourites beside itself, so its folder must be
# one its user can write: install for one user with `--prefix ~/.local`.
include(GNUInstallDirs)
set(QOVA_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/qova)

install(TARGETS qova RUNTIME DESTINATION ${QOVA_INSTALL_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/src/playback/Player.html DESTINATION ${QOVA_INSTALL_DIR})
install(DIRECTORY ${QOVA_PROGRAM_DIR}/demo/media DESTINATION ${QOVA_INSTALL_DIR}/demo OPTIONAL)
install(FILES ${PROJECT_SOURCE_DIR}/assets/pictures/app_icon.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME qova.svg)

# Paths known only at install time: the demo directory's media addresses, the default
# Config.txt (never over one the user wrote), the command and the menu entry.
install(CODE "
  set(final \"\${CMAKE_INSTALL_PREFIX}/${QOVA_INSTALL_DIR}\")
  set(staged \"\$ENV{DESTDIR}\${final}\")
  file(READ \"${QOVA_PROGRAM_DIR}/demo/directory.txt\" text)
  string(REPLACE \"file://${QOVA_PROGRAM_DIR}/demo/\" \"file://\${final}/demo/\" text \"\${text}\")
  file(WRITE \"\${staged}/demo/directory.txt\" \"\${text}\")
  if(NOT EXISTS \"\${staged}/Config.txt\")
    file(WRITE \"\${staged}/Config.txt\" \"URLTXT=file://\${final}/demo/directory.txt\\r\\n\")
  endif()
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(CREATE_LINK \"\${final}/qova\" \"\${bin}/qova\" SYMBOLIC)
  file(READ \"${PROJECT_SOURCE_DIR}/assets/qova.desktop\" entry)
  string(REGEX REPLACE \"\\nExec=[^\\n]*\" \"\\nExec=\${final}/qova\" entry \"\${entry}\")
  set(apps \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
  file(MAKE_DIRECTORY \"\${apps}\")
  file(WRITE \"\${apps}/qova.desktop\" \"\${entry}\")
")
