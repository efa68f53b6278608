# Installation and the Debian package, laid out as Debian's chess engines are: the engine in
# <prefix>/games, its manual page in section 6, and an xboard plugin file with a logo, through
# which xboard lists the engine among its installed engines. xboard reads plugin files from
# both /usr/share/games/plugins and /usr/local/share/games/plugins, and /usr/games and
# /usr/local/games are both on the ordinary PATH, so the prefixes /usr (the package) and
# /usr/local (make install) both give an engine the GUI finds by name.
include(GNUInstallDirs)

include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)

set(QUILLOMAR_GAMES_DIR games CACHE STRING "Directory of the engine, relative to the prefix")
set(plugin_dir ${CMAKE_INSTALL_DATAROOTDIR}/games/plugins)

set(man_page ${CMAKE_BINARY_DIR}/packaging/quillomar.6)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillomar.6.in ${man_page} @ONLY)
add_custom_command(OUTPUT ${man_page}.gz
                   COMMAND gzip -9 -n -k -f ${man_page}
                   DEPENDS ${man_page}
                   COMMENT "Compressing the manual page")
add_custom_target(quillomar-man ALL DEPENDS ${man_page}.gz)

# The copyright file, in Debian's machine-readable format, made from LICENSE: the notice of the
# licence (GNU GPL version 3 or later) and its full text, each line indented by a blank and
# empty lines written " ." as that format asks.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence_text)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
string(REGEX REPLACE "[ \t]+\n" "\n" licence_text "${licence_text}")
string(REGEX REPLACE "\n+$" "" licence_text "${licence_text}")
string(REPLACE "\n" "\n " licence_text " ${licence_text}")
string(REPLACE "\n \n" "\n .\n" licence_text "${licence_text}")
string(REPLACE "\n \n" "\n .\n" licence_text "${licence_text}")
set(copyright_file ${CMAKE_BINARY_DIR}/packaging/copyright)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${copyright_file} @ONLY)

install(TARGETS quillomar RUNTIME DESTINATION ${QUILLOMAR_GAMES_DIR} COMPONENT engine)
install(FILES ${copyright_file} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT engine)
install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT engine)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quillomar.eng DESTINATION ${plugin_dir}/xboard
        COMPONENT engine)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quillomar.png DESTINATION ${plugin_dir}/logos
        COMPONENT engine)

# CMake has no uninstall of its own: this removes what the last install listed in its manifest.
add_custom_target(uninstall
                  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
                          -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake)

set(CPACK_GENERATOR DEB)
# The package installs the component by name, so that its staging install keeps to its own
# manifest and leaves install_manifest.txt (read by uninstall) to make install.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};quillomar;engine;/")
set(CPACK_PACKAGE_NAME quillomar)
set(CPACK_PACKAGE_VERSION ${QUILLOMAR_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillomar team <quillomar@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "chess engine for xboard and UCI interfaces")
set(CPACK_PACKAGE_DESCRIPTION "Quillomar is a program that plays chess. It has no window of its own:
a graphical interface such as xboard starts it and talks to it over the
xboard protocol (version 2) or over UCI. It searches by iterative deepening of a
material-only alpha-beta search with a capture extension, shows its thinking
depth by depth and claims results when the game is over on the board.
It is listed among xboard's installed engines.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xboard)
include(CPack)
