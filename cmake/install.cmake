# `cmake --install` lays out the program folder, a command on the PATH, and the desktop's menu
# entry. The program keeps its directory copy and favourites beside itself where its user may
# write there, else in the user's data folder (~/.local/share/qova).
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

# What software centres show of the program.
install(FILES ${PROJECT_SOURCE_DIR}/assets/qova.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.qova.Qova.metainfo.xml)

# `cpack --preset default`: a Debian package installing under /usr. The libraries it needs are
# found by dpkg-shlibdeps from what the program links; Qt's platform plugins and libmpv are
# loaded at run time, where no linker sees them, so they are named here: libmpv by the package
# that holds the library the program was built against.
set(qova_runtime_depends "qt6-qpa-plugins")
list(GET MPV_LINK_LIBRARIES 0 qova_mpv_library)
get_filename_component(qova_mpv_library "${qova_mpv_library}" REALPATH)
execute_process(COMMAND dpkg-query --search "${qova_mpv_library}"
  OUTPUT_VARIABLE qova_mpv_owner RESULT_VARIABLE qova_mpv_found ERROR_QUIET)
if(qova_mpv_found EQUAL 0 AND qova_mpv_owner MATCHES "^([^:,]+)")
  set(qova_mpv_package "${CMAKE_MATCH_1}")
  execute_process(COMMAND dpkg-query --show "--showformat=\${Version}" "${qova_mpv_package}"
    OUTPUT_VARIABLE qova_mpv_version ERROR_QUIET)
  # The upstream version, without the Debian revision or epoch.
  string(REGEX REPLACE "^[0-9]+:" "" qova_mpv_version "${qova_mpv_version}")
  string(REGEX REPLACE "-[^-]*$" "" qova_mpv_version "${qova_mpv_version}")
  string(APPEND qova_runtime_depends ", ${qova_mpv_package} (>= ${qova_mpv_version})")
else()
  message(WARNING "No Debian package holds ${qova_mpv_library}: the package will not name it")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qova)
set(CPACK_PACKAGE_VENDOR QOVA)
set(CPACK_PACKAGE_CONTACT "QOVA developers <help@qova.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Player for internet television and radio")
set(CPACK_PACKAGE_DESCRIPTION
  "Pick TV or Radio, a country and a channel, and the stream plays inside the window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qova_runtime_depends}")
include(CPack)
