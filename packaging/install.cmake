# What "cmake --install" puts in place and what the Debian package holds: the command
# line, the manual pages, the bash completion and the documents beside them. The
# window installs its own files (src/ui/CMakeLists.txt).
include(GNUInstallDirs)

install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual pages, each made from its one source by scdoc and compressed as Debian
# keeps manual pages (gzip -n: no name or time in the header, so two builds give the
# same bytes). The tests compare velmora.1 with --help, so a test build needs scdoc.
if(VELMORA_TESTS)
  find_program(VELMORA_SCDOC scdoc REQUIRED)
else()
  find_program(VELMORA_SCDOC scdoc)
endif()
find_program(VELMORA_GZIP gzip)
set(VELMORA_MANPAGE ${CMAKE_BINARY_DIR}/velmora.1)
set(VELMORA_MANPAGES velmora)
if(VELMORA_GUI)
  list(APPEND VELMORA_MANPAGES velmora-gui)
endif()
if(VELMORA_SCDOC AND VELMORA_GZIP)
  set(VELMORA_MANPAGE_FILES)
  foreach(page ${VELMORA_MANPAGES})
    set(out ${CMAKE_BINARY_DIR}/${page}.1)
    add_custom_command(OUTPUT ${out} ${out}.gz
      COMMAND ${VELMORA_SCDOC} < ${CMAKE_SOURCE_DIR}/docs/${page}.1.scd > ${out}
      COMMAND ${VELMORA_GZIP} -9 -n -c ${out} > ${out}.gz
      DEPENDS ${CMAKE_SOURCE_DIR}/docs/${page}.1.scd
      COMMENT "Making the manual page ${page}.1"
      VERBATIM)
    list(APPEND VELMORA_MANPAGE_FILES ${out} ${out}.gz)
    install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(velmora-manpage ALL DEPENDS ${VELMORA_MANPAGE_FILES})
else()
  message(WARNING "scdoc not found: the manual pages are neither made nor installed")
endif()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/velmora
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The documentation folder: the README, the report's description and schema, the
# copyright file (the licence's terms; the licence itself is in common-licenses on
# Debian) and the change log, compressed as Debian keeps it.
set(VELMORA_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/velmora)
# The package's version is the change log's newest entry: the two must not drift.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog VELMORA_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT VELMORA_CHANGELOG_TOP MATCHES "^velmora \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog does not start with version ${PROJECT_VERSION}")
endif()
install(FILES README.md docs/report.md docs/report.schema.json packaging/debian/copyright
  DESTINATION ${VELMORA_DOCDIR})
if(VELMORA_GZIP)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${VELMORA_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
            > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
  add_custom_target(velmora-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${VELMORA_DOCDIR})
endif()

# The Debian package (scripts/package): its Depends come from the shared libraries
# the programs actually link (dpkg-shlibdeps), the optimisers the pictures may go
# through are recommended.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zopfli, gifsicle")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "shrink HWPX and HWPML documents by recompressing their pictures
Velmora makes Korean word-processor documents smaller: HWPX packages (.hwpx)
and HWPML documents (.hml). Camera photos are re-encoded as JPEG, BMP
screenshots become PNG or JPEG, PNG and still GIF pictures become smaller PNGs.
A picture is replaced only when the new file is smaller and reads back whole;
everything else is copied byte for byte, and the source is never changed.
.
The package holds the command line velmora, which also shrinks whole folder
trees, makes dry runs and writes JSON reports, and the window velmora-gui.")
include(CPack)
