# Installation and packages.
#
#   cmake --install build [--prefix DIR] [--strip]
#   cpack --config build/CPackConfig.cmake         (Linux: the Debian package)
#   cpack --config build-win32/CPackConfig.cmake   (Windows cross-build: the ZIP)
#
# On Linux the program goes to bin/, its manual page (compressed, as Debian
# policy wants it) to share/man/man1/ and the README, the changelog and the
# copyright file to share/doc/clockcast/. The version of every package is the
# project version of the top-level CMakeLists.txt.
#
# On Windows the install tree is flat: clockcast.exe, README.txt and
# LICENSE.txt side by side, with CR LF line ends so that Notepad shows them.

# Only the project's own build packages; a project that embeds this one (the
# benchmarks) gets no install rules or packages from it.
if(NOT CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
  return()
endif()

include(GNUInstallDirs)

set(CLOCKCAST_MAINTAINER "Clockcast developers <clockcast@example.org>")
set(CLOCKCAST_DOC_BUILD_DIR ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${CLOCKCAST_DOC_BUILD_DIR})

# Directories made by the install and by the packages are 0755 whatever the
# umask of the machine that builds them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS clockcast RUNTIME DESTINATION .)
  configure_file(${PROJECT_SOURCE_DIR}/README.md ${CLOCKCAST_DOC_BUILD_DIR}/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CLOCKCAST_DOC_BUILD_DIR}/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CLOCKCAST_DOC_BUILD_DIR}/README.txt ${CLOCKCAST_DOC_BUILD_DIR}/LICENSE.txt
          DESTINATION .)
else()
  install(TARGETS clockcast RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # The Debian copyright file, in the machine-readable format, made from
  # LICENSE so that the license text lives in one place.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE CLOCKCAST_LICENSE_TEXT)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" CLOCKCAST_COPYRIGHT_LINE
         "${CLOCKCAST_LICENSE_TEXT}")
  set(CLOCKCAST_COPYRIGHT_HOLDER "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n+" "" CLOCKCAST_LICENSE_BODY
         "${CLOCKCAST_LICENSE_TEXT}")
  string(STRIP "${CLOCKCAST_LICENSE_BODY}" CLOCKCAST_LICENSE_BODY)
  string(REPLACE "\n\n" "\n.\n" CLOCKCAST_LICENSE_BODY "${CLOCKCAST_LICENSE_BODY}")
  string(REPLACE "\n" "\n " CLOCKCAST_LICENSE_BODY "${CLOCKCAST_LICENSE_BODY}")
  file(CONFIGURE OUTPUT ${CLOCKCAST_DOC_BUILD_DIR}/copyright
       CONTENT "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: clockcast
Upstream-Contact: ${CLOCKCAST_MAINTAINER}

Files: *
Copyright: ${CLOCKCAST_COPYRIGHT_HOLDER}
License: Expat

License: Expat
 ${CLOCKCAST_LICENSE_BODY}
")

  # The manual page and the changelog are compressed at build time
  # (gzip -9n: best compression, no name or time stamp inside, so the
  # package is reproducible).
  find_program(CLOCKCAST_GZIP gzip)
  set(CLOCKCAST_MAN_PAGE ${PROJECT_SOURCE_DIR}/docs/clockcast.1)
  set(CLOCKCAST_CHANGELOG ${PROJECT_SOURCE_DIR}/docs/changelog)
  if(CLOCKCAST_GZIP)
    set(CLOCKCAST_MAN_INSTALLED ${CLOCKCAST_DOC_BUILD_DIR}/clockcast.1.gz)
    set(CLOCKCAST_CHANGELOG_INSTALLED ${CLOCKCAST_DOC_BUILD_DIR}/changelog.gz)
    add_custom_command(
      OUTPUT ${CLOCKCAST_MAN_INSTALLED}
      COMMAND ${CLOCKCAST_GZIP} -9n -c ${CLOCKCAST_MAN_PAGE} > ${CLOCKCAST_MAN_INSTALLED}
      DEPENDS ${CLOCKCAST_MAN_PAGE}
      COMMENT "Compressing the manual page"
      VERBATIM)
    add_custom_command(
      OUTPUT ${CLOCKCAST_CHANGELOG_INSTALLED}
      COMMAND ${CLOCKCAST_GZIP} -9n -c ${CLOCKCAST_CHANGELOG} > ${CLOCKCAST_CHANGELOG_INSTALLED}
      DEPENDS ${CLOCKCAST_CHANGELOG}
      COMMENT "Compressing the changelog"
      VERBATIM)
    add_custom_target(clockcast_docs ALL
                      DEPENDS ${CLOCKCAST_MAN_INSTALLED} ${CLOCKCAST_CHANGELOG_INSTALLED})
  else()
    set(CLOCKCAST_MAN_INSTALLED ${CLOCKCAST_MAN_PAGE})
    set(CLOCKCAST_CHANGELOG_INSTALLED ${CLOCKCAST_CHANGELOG})
  endif()

  install(FILES ${CLOCKCAST_MAN_INSTALLED} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CLOCKCAST_CHANGELOG_INSTALLED}
                ${CLOCKCAST_DOC_BUILD_DIR}/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(NOT CLOCKCAST_PIE)
    # The program is linked position-dependent on purpose (see the top-level
    # CMakeLists.txt); the package says so to lintian.
    file(CONFIGURE OUTPUT ${CLOCKCAST_DOC_BUILD_DIR}/lintian-overrides
         CONTENT "# Position-dependent on purpose: a run is cheaper without the relocations.
clockcast: hardening-no-pie [usr/bin/clockcast]
")
    install(FILES ${CLOCKCAST_DOC_BUILD_DIR}/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME clockcast)
  endif()
endif()

# --- Packages ------------------------------------------------------------------

set(CPACK_PACKAGE_NAME clockcast)
set(CPACK_PACKAGE_VENDOR "Clockcast developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${CLOCKCAST_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the date and time shaped by format commands")
set(CPACK_PACKAGE_DESCRIPTION
    "Clockcast prints the current date and time as text, shaped by the format
commands on its command line, for scripts that name folders, files and log
lines after the date. Its format language has day, month, year, era, hour,
minute, second, millisecond and AM/PM specifiers, and it takes month and day
names, date formats and separators from the user's locale.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME clockcast-${PROJECT_VERSION}-win32)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CLOCKCAST_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
