# What the package ships beside the program: the manual page and the
# changelog, compressed as Debian ships them, and the copyright file.

set(TESMIC_MANPAGE ${PROJECT_SOURCE_DIR}/doc/tesmic.1)
set(TESMIC_MANPAGE_GZ ${PROJECT_BINARY_DIR}/tesmic.1.gz)
set(TESMIC_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
set(TESMIC_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/changelog.gz)
set(TESMIC_COPYRIGHT ${PROJECT_SOURCE_DIR}/packaging/copyright)

# Debian ships manual pages and changelogs compressed; -n keeps the name and
# time out of the header so that the same text always gives the same bytes.
find_program(TESMIC_GZIP gzip REQUIRED)
function(tesmic_gzip source output)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${TESMIC_GZIP} -9nf ${plain}
    DEPENDS ${source}
    COMMENT "Compressing ${plain}"
    VERBATIM)
endfunction()
tesmic_gzip(${TESMIC_MANPAGE} ${TESMIC_MANPAGE_GZ})
tesmic_gzip(${TESMIC_CHANGELOG} ${TESMIC_CHANGELOG_GZ})
add_custom_target(tesmic_compressed_docs ALL
                  DEPENDS ${TESMIC_MANPAGE_GZ} ${TESMIC_CHANGELOG_GZ})

# One changelog entry per released version: the newest one must be the
# version being built, so that a new version cannot ship without its entry.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TESMIC_CHANGELOG})
file(STRINGS ${TESMIC_CHANGELOG} tesmic_newest_entry LIMIT_COUNT 1)
set(tesmic_newest_version "")
if(tesmic_newest_entry MATCHES "^tesmic \\(([^)]*)\\) ")
  set(tesmic_newest_version ${CMAKE_MATCH_1})
endif()
if(NOT tesmic_newest_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: the newest entry is for version "
          "'${tesmic_newest_version}', not ${PROJECT_VERSION}. Add an entry "
          "for ${PROJECT_VERSION} (dch -c packaging/changelog -v ${PROJECT_VERSION}).")
endif()

# The manual page must render without a single warning, as `man` would show
# it. -z keeps the page itself out, so any output at all is a diagnostic.
find_program(TESMIC_GROFF groff)
if(TESMIC_BUILD_TESTS AND TESMIC_GROFF)
  add_test(NAME manpage_renders_cleanly
           COMMAND ${TESMIC_GROFF} -z -ww -man -Tutf8 ${TESMIC_MANPAGE})
  set_tests_properties(manpage_renders_cleanly PROPERTIES
                       FAIL_REGULAR_EXPRESSION ".")
endif()
