# What "cmake --install" puts in place: the command line, the manual pages and the
# bash completion. The window installs its own files (src/ui/CMakeLists.txt).
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
