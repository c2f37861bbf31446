# Installation and the Debian package.
#   cmake --install BUILD [--prefix DIR]   bin/tesmic, lib/tesmic/tesmic-codec*,
#                                           the manual page, the sample,
#                                           copyright and changelog
#   cd BUILD && cpack -G DEB                tesmic_<version>_<arch>.deb
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/PackageDocs.cmake)

# Directories as dpkg expects them, whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

install(TARGETS tesmic RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The codec helpers, where the program looks for them (TESMIC_CODEC_DIR).
install(TARGETS tesmic-codec tesmic-codec-opencv RUNTIME DESTINATION ${TESMIC_CODEC_DIR})
# Stripping (CPACK_STRIP_FILES, cmake --install --strip) runs a bare strip,
# which leaves the compiler's .comment section; drop it and .note as well,
# as dh_strip does for the executables of Debian's own packages.
if(CMAKE_STRIP)
  foreach(tesmic_executable
          "${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:tesmic>"
          "${TESMIC_CODEC_DIR}/$<TARGET_FILE_NAME:tesmic-codec>"
          "${TESMIC_CODEC_DIR}/$<TARGET_FILE_NAME:tesmic-codec-opencv>")
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(
          COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${tesmic_executable}\"
          COMMAND_ERROR_IS_FATAL ANY)
      endif()")
  endforeach()
endif()
install(FILES ${TESMIC_MANPAGE_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TESMIC_COPYRIGHT} ${TESMIC_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The built-in example reads cerven.jpg from the working directory, else this
# installed sample, found from the program's own folder so that any prefix
# (and the package's /usr) works.
install(FILES ${PROJECT_SOURCE_DIR}/sample/cerven.jpg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tesmic)
file(RELATIVE_PATH TESMIC_DATA_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/tesmic)
target_compile_definitions(tesmic_run PRIVATE
  TESMIC_DATA_FROM_BINDIR="${TESMIC_DATA_FROM_BINDIR}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesmic)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "tesmic maintainers <maintainers@users.noreply.c-seed-e737c656.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
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
