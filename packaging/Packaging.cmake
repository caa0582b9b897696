# A Debian package: cpack -G DEB in the build folder gives spurfix_<version>_amd64.deb.
set(CPACK_PACKAGE_NAME spurfix)
set(CPACK_PACKAGE_VENDOR "Spurfix")
set(CPACK_PACKAGE_CONTACT "Spurfix <spurfix@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Liedlisten für MP3-CDs / song lists for MP3 CDs")
# One string with its line breaks: a list of strings would be joined with ";".
set(CPACK_PACKAGE_DESCRIPTION
    "Spurfix reads every file of an MP3 CD or a folder, turns each file name\n\
into a song title, numbers the songs with at least three digits, optionally\n\
puts a heading line per folder, shows the list as a preview and exports it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# The libraries it links, as dpkg-shlibdeps finds them, and what the fixed layout and
# the German dialogs need at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-translations-l10n, libisofs6")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# What Debian wants beside every package: the copyright and, compressed, the changelog.
find_program(GZIP gzip REQUIRED)
add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/doc/changelog
            > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/doc/changelog)
add_custom_target(package_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/doc/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
include(CPack)
