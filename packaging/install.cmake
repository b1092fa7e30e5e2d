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
# varnek-test_<version>_amd64.deb. Besides the programs it holds what Debian
# asks of a package: the changelog, the manual pages, the AppStream data.

include(GNUInstallDirs)
set(VARNEK_MAINTAINER "Varnek Test developers <varnek-test@users.noreply.example>")
# AppStream wants an address for the screenshot; the metainfo names it under
# this address, where whoever publishes the program puts the screenshot.
set(VARNEK_HOMEPAGE "https://varnek-test.example" CACHE STRING "The program's web page (AppStream)")
set(VARNEK_APPSTREAM_ID org.example.varnek_test)

# The project's version is the one place; the changelog's top entry must be
# about it, signed by the package's maintainer, and its date is the release date.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog _top LIMIT_COUNT 1)
if(NOT _top MATCHES "^varnek-test \\(([^)]+)\\) " OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the top entry is not for version ${PROJECT_VERSION} "
                      "(project() in CMakeLists.txt): add one saying what this version brings")
endif()
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog _trailers REGEX "^ -- ")
list(GET _trailers 0 _trailer)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
string(FIND "${_trailer}" " -- ${VARNEK_MAINTAINER}  " _signed)
string(REGEX MATCH "  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) " _unused "${_trailer}")
list(FIND _months "${CMAKE_MATCH_2}" _month)
if(NOT _signed EQUAL 0 OR _month LESS 0)
  message(FATAL_ERROR "packaging/changelog: the top entry's last line is not\n"
                      " -- ${VARNEK_MAINTAINER}  Day, DD Mon YYYY hh:mm:ss +zzzz")
endif()
math(EXPR _month "${_month} + 1")
if(_month LESS 10)
  set(_month 0${_month})
endif()
set(VARNEK_RELEASE_DATE "${CMAKE_MATCH_3}-${_month}-${CMAKE_MATCH_1}")

install(TARGETS varnek-test RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET ecusim)
  install(TARGETS ecusim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/sim/Loader.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/ecusim)
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/varnek-test.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnek-test)

# gzip -9n: the best compression Debian asks for, no name or time in the
# file, so the same sources give the same package.
find_program(GZIP gzip REQUIRED)
find_program(PANDOC pandoc REQUIRED)  # scripts/setup.sh installs it
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_gen ${PROJECT_BINARY_DIR}/packaging)
add_custom_command(OUTPUT ${_gen}/changelog.gz
                   COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/changelog ${_gen}/changelog
                   COMMAND ${GZIP} -9nf ${_gen}/changelog
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)

# Manual pages from Markdown; ecusim's takes its text from `ecusim --help`.
set(_pandoc ${PANDOC} --standalone --to man -M "footer=Varnek Test ${PROJECT_VERSION}")
add_custom_command(OUTPUT ${_gen}/varnek-test.1.gz
                   COMMAND ${_pandoc} ${CMAKE_CURRENT_LIST_DIR}/man/varnek-test.1.md -o ${_gen}/varnek-test.1
                   COMMAND ${GZIP} -9nf ${_gen}/varnek-test.1
                   DEPENDS ${CMAKE_CURRENT_LIST_DIR}/man/varnek-test.1.md VERBATIM)
set(_pages ${_gen}/changelog.gz ${_gen}/varnek-test.1.gz)
if(TARGET ecusim)
  add_custom_command(OUTPUT ${_gen}/ecusim.1.gz
                     COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/man/help_to_markdown.py
                             $<TARGET_FILE:ecusim> ${CMAKE_CURRENT_LIST_DIR}/man/ecusim.1.md ${_gen}/ecusim.1.md
                     COMMAND ${_pandoc} ${_gen}/ecusim.1.md -o ${_gen}/ecusim.1
                     COMMAND ${GZIP} -9nf ${_gen}/ecusim.1
                     DEPENDS ecusim ${CMAKE_CURRENT_LIST_DIR}/man/ecusim.1.md
                             ${CMAKE_CURRENT_LIST_DIR}/man/help_to_markdown.py VERBATIM)
  list(APPEND _pages ${_gen}/ecusim.1.gz)
  install(FILES ${_gen}/ecusim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
add_custom_target(package_docs ALL DEPENDS ${_pages})
install(FILES ${_gen}/varnek-test.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_gen}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnek-test)

configure_file(${CMAKE_CURRENT_LIST_DIR}/varnek-test.metainfo.xml.in
               ${_gen}/${VARNEK_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${_gen}/${VARNEK_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnek-test)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VARNEK_MAINTAINER}")
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
