# Installation and the Debian package.
#   cmake --install BUILD [--prefix DIR]   bin/tesmic, its manual page, the sample
#   cd BUILD && cpack -G DEB                tesmic_<version>_<arch>.deb
include(GNUInstallDirs)

set(TESMIC_MANPAGE ${PROJECT_SOURCE_DIR}/doc/tesmic.1)
set(TESMIC_MANPAGE_GZ ${PROJECT_BINARY_DIR}/tesmic.1.gz)

# Debian ships manual pages compressed; -n keeps the name and time out of the
# header so that the same page always gives the same bytes.
find_program(TESMIC_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${TESMIC_MANPAGE_GZ}
  COMMAND ${CMAKE_COMMAND} -E copy ${TESMIC_MANPAGE} ${PROJECT_BINARY_DIR}/tesmic.1
  COMMAND ${TESMIC_GZIP} -9nf ${PROJECT_BINARY_DIR}/tesmic.1
  DEPENDS ${TESMIC_MANPAGE}
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(tesmic_manpage ALL DEPENDS ${TESMIC_MANPAGE_GZ})

# Directories as dpkg expects them, whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

install(TARGETS tesmic RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TESMIC_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The built-in example reads cerven.jpg from the working directory, so the
# sample goes where the manual page tells people to cd to.
install(FILES ${PROJECT_SOURCE_DIR}/sample/cerven.jpg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tesmic)

# The manual page must render without a single warning, as `man` would show
# it. -z keeps the page itself out, so any output at all is a diagnostic.
find_program(TESMIC_GROFF groff)
if(TESMIC_BUILD_TESTS AND TESMIC_GROFF)
  add_test(NAME manpage_renders_cleanly
           COMMAND ${TESMIC_GROFF} -z -ww -man -Tutf8 ${TESMIC_MANPAGE})
  set_tests_properties(manpage_renders_cleanly PROPERTIES
                       FAIL_REGULAR_EXPRESSION ".")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesmic)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "tesmic maintainers <maintainers@users.noreply.c-seed-e737c656.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show where one colour lies in an image")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tesmic converts an image to HLS and marks every pixel whose hue,\n"
    "lightness and saturation lie within six bounds given on the command\n"
    "line. It shows the mask beside the smoothed image in two windows and\n"
    "prints how long the pass over the pixels took.\n"
    "\n"
    "Run without arguments, it prints its usage text (in Czech) and looks\n"
    "for the light reds of the sample image shipped in /usr/share/tesmic.")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Depends is read off the binary by dpkg-shlibdeps (from dpkg-dev), so it
# names the OpenCV, Highway and X11 library packages of the system built on.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

include(CPack)
