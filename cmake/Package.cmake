# The Debian package (scripts/package): CPack's DEB generator over the
# install rules, with the run-time dependencies worked out by dpkg-shlibdeps
# from the libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME murrelphonic)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Murrelphonic developers <murrelphonic@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion of a handheld dictation recorder")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Desktop companion of a handheld dictation recorder
 Browse the recorder's voice files, play and record them, convert them to WAV
 files and back, and draw WAV files as pictures; with a command-line tool for
 the same work in scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugin at run time; no library links it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The decoder library is private (lib/murrelphonic, found through the run
# path), so dpkg-shlibdeps is told where it is rather than looking it up.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${MURREL_BIN_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
include(CPack)
