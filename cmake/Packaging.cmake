# `cmake --install` puts the three programs, the desktop entry and the icon in place;
# `cpack -G DEB` (run in the build folder) makes a Debian package of them.
include(GNUInstallDirs)
install(TARGETS kalvort-cli kalvort-urvell-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME "kalvort")
set(CPACK_PACKAGE_VENDOR "Kalvort")
set(CPACK_PACKAGE_CONTACT "Kalvort maintainers <kalvort@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CNC memory module programmer: projects, program formats, USB programmer and networked controllers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
# The package dependencies come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
