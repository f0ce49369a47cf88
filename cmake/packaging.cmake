# Installation and the Windows release.
#
#   cmake --install build [--prefix DIR] [--strip]
#   cmake --build build-win32 --target zip      (Windows cross-build: the ZIP)
#
# The Debian package is built from debian/ with dpkg-buildpackage, which runs
# this install into the package tree. The ZIP is packed by
# packaging/windows/make-zip.py (python3 and groff).
#
# On Linux the program goes to bin/, its manual page to share/man/man1/ and
# the README to share/doc/clockcast/.
#
# On Windows the release is a ZIP, clockcast-<version>-win32.zip, holding one
# folder with clockcast.exe, README.txt (for Windows users), LICENSE.txt, the
# manual as plain text and SHA256SUMS.

# Only the project's own build packages; a project that embeds this one (the
# benchmarks) gets no install rules or packages from it.
if(NOT CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
  return()
endif()

include(GNUInstallDirs)

# Directories made by the install are 0755 whatever the umask of the machine.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(NOT WIN32)
  install(TARGETS clockcast RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/clockcast.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  return()
endif()

install(TARGETS clockcast RUNTIME DESTINATION .)

find_program(CLOCKCAST_PYTHON3 python3 REQUIRED)
set(CLOCKCAST_ZIP ${PROJECT_BINARY_DIR}/clockcast-${PROJECT_VERSION}-win32.zip)
add_custom_command(
  OUTPUT ${CLOCKCAST_ZIP}
  COMMAND ${CLOCKCAST_PYTHON3} ${PROJECT_SOURCE_DIR}/packaging/windows/make-zip.py
          --exe $<TARGET_FILE:clockcast> --source-dir ${PROJECT_SOURCE_DIR} --zip ${CLOCKCAST_ZIP}
  DEPENDS clockcast ${PROJECT_SOURCE_DIR}/packaging/windows/make-zip.py
          ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
          ${PROJECT_SOURCE_DIR}/docs/clockcast.1 ${PROJECT_SOURCE_DIR}/debian/changelog
  COMMENT "Packing clockcast-${PROJECT_VERSION}-win32.zip"
  VERBATIM)
add_custom_target(zip DEPENDS ${CLOCKCAST_ZIP})
