# Installation and the Debian package.
#
# `cmake --install` lays the program out as a desktop program: varnek-test and
# ecusim in bin/, the menu entry and the icon in share/, the README and the
# licence in share/doc/varnek-test/. The simulator's stand-in Loader.dat goes
# into share/ecusim/, a folder of the simulator's own: the program looks for a
# loader only beside its executable and in the per-user data folder, so an
# installed program can never upload the stand-in into a car.
#
# `cpack` (scripts/package.sh) turns the same layout, under /usr, into
# varnek-test_<version>_amd64.deb.

include(GNUInstallDirs)

install(TARGETS varnek-test RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ecusim)
  install(TARGETS ecusim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/sim/Loader.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/ecusim)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/varnek-test.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnek-test)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnek-test)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Varnek Test developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ECU diagnostics, acceleration timing and firmware flashing over K-line")
# One text line a line of the package's description; an empty line parts paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "Varnek Test talks to an engine control unit through a K-line serial
adapter: live diagnostics of about ninety engine variables, acceleration runs
timed band by band to compare ignition settings, a CSV log of every session,
reading and writing the ECU's 64 KiB firmware through its boot protocol, and
the air-fuel ratio of an LC-1 wideband lambda controller. The user interface
is in Russian.

The package also holds ecusim, a simulator of the adapter, the ECU and the
LC-1 on pseudo-terminals, for trying the program without a car.

Licence: GPL-3.0-or-later.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries come from dpkg-shlibdeps; Qt's own translations of its dialogs
# are loaded at run time and have no library to find them by.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
include(CPack)
