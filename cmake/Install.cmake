# Where `cmake --install` puts Tarvelo, and the Debian package made from that (`cpack -G DEB`).
#
# The programs and the files they find beside themselves (ProgramFolder) live together in
# <prefix>/lib/tarvelo/, as a packaged browser keeps its own folder; <prefix>/bin/ holds relative links
# to the programs a user starts. Tests, benchmarks, fuzzers and build tools have no install rules.

set(TARVELO_PROGRAM_DIR lib/tarvelo)

# ProgramFolder's contents: add a program, a file or a folder here and the package carries it.
set(TARVELO_PROGRAMS orv)
if(ORV_GUI)
    list(APPEND TARVELO_PROGRAMS quillet)
endif()
set(TARVELO_PROGRAM_FILES ${CMAKE_BINARY_DIR}/resources/DangerousIP.dat)
# The extension Quillet registers with Firefox.
set(TARVELO_PROGRAM_FOLDERS ${CMAKE_BINARY_DIR}/installer/firefox)
# Firefox starts the extension's bridge; a user never does, so it has no link in bin/.
install(TARGETS orv-firefox-bridge RUNTIME DESTINATION ${TARVELO_PROGRAM_DIR})

install(TARGETS ${TARVELO_PROGRAMS} RUNTIME DESTINATION ${TARVELO_PROGRAM_DIR})
install(FILES ${TARVELO_PROGRAM_FILES} DESTINATION ${TARVELO_PROGRAM_DIR})
if(TARVELO_PROGRAM_FOLDERS)
    install(DIRECTORY ${TARVELO_PROGRAM_FOLDERS} DESTINATION ${TARVELO_PROGRAM_DIR} USE_SOURCE_PERMISSIONS)
endif()

# bin/<program> -> ../lib/tarvelo/<program>: /proc/self/exe then names the real file, so ProgramFolder is
# lib/tarvelo/. The links are made here once and installed as links.
foreach(program IN LISTS TARVELO_PROGRAMS)
    set(link ${CMAKE_BINARY_DIR}/bin-links/${program})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/bin-links)
    file(CREATE_LINK ../${TARVELO_PROGRAM_DIR}/${program} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION bin)
endforeach()

# What the desktop, man, the shell and the software centre find; each program with its menu entry and page.
set(TARVELO_DESKTOP_FILES ${CMAKE_SOURCE_DIR}/resources/orv.desktop)
if(ORV_GUI)
    list(APPEND TARVELO_DESKTOP_FILES ${CMAKE_SOURCE_DIR}/resources/quillet.desktop)
endif()
install(FILES ${TARVELO_DESKTOP_FILES} DESTINATION share/applications)
# orv copies its menu entry into the user's autostart folder: it finds the installed one from its own folder,
# and a copy that was never installed takes the one it was built with.
file(RELATIVE_PATH ORV_MENU_FOLDER /${TARVELO_PROGRAM_DIR} /share/applications)
file(READ ${CMAKE_SOURCE_DIR}/resources/orv.desktop ORV_MENU_ENTRY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/orv.desktop)
configure_file(${CMAKE_SOURCE_DIR}/settings/OrvMenuEntry.h.in ${CMAKE_BINARY_DIR}/generated/settings/OrvMenuEntry.h
               @ONLY)
target_include_directories(orvsettings PRIVATE ${CMAKE_BINARY_DIR}/generated)
install(FILES ${TARVELO_MAN_PAGES} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/resources/io.github.tarvelo.tarvelo.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/completion/orv DESTINATION share/bash-completion/completions)
# The judge server's unit: installed, not enabled (a user chooses the address first).
install(FILES ${CMAKE_SOURCE_DIR}/resources/orv-judge.service DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/tarvelo.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/resources/copyright ${TARVELO_CHANGELOG}
        DESTINATION share/doc/tarvelo)

set(TARVELO_MAINTAINER "The Tarvelo developers <developers@tarvelo.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvelo)
set(CPACK_PACKAGE_VENDOR "The Tarvelo developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tester and switcher for public HTTP proxies")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvelo keeps a list of public HTTP proxies, tests them in parallel for delay\n"
    "and anonymity against a proxy-judge page, and makes any proxy the active proxy\n"
    "of the desktop and of Firefox, from its window or from the tray.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TARVELO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries orv links (Qt 6, RE2, ...) give the Depends line. The Qt plugins it loads at run
# time (platforms, SVG icons, GIF) ship in those same library packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Read at run time, not linked: the address database of the country test.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tor-geoipdb")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
