# What the Debian package carries beside the programs: the copyright file,
# the changelog and a manual page for each program, gzipped as Debian keeps
# them (-n: no name or time inside, so that the same tree packs to the same
# bytes). Included by cmake/Packaging.cmake, which lists the programs in
# _kt_programs.
set(_kt_docs ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME})
set(_kt_changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${_kt_changelog}
                   COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/packaging/changelog ${_kt_changelog}
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
set(_kt_documents ${_kt_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_kt_changelog} DESTINATION ${_kt_docs})

# The pages are the programs' --help, run here. A sanitizer build (whose
# programs may report leaks at exit) and a cross build go without them.
if(NOT KT_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  set(_kt_summary_kt6100 "companion program of the KT6100 electronic-ballast tester")
  set(_kt_summary_kt6100-cli "the KT6100 tester's runs, files and run log without a window")
  set(_kt_summary_kt6100-sim "a simulated KT6100 tester on a pseudo-terminal")
  foreach(_kt_program IN LISTS _kt_programs)
    set(_kt_page ${CMAKE_CURRENT_BINARY_DIR}/${_kt_program}.1.gz)
    add_custom_command(OUTPUT ${_kt_page}
                       COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/man-page.sh $<TARGET_FILE:${_kt_program}> ${_kt_program}
                               "${_kt_summary_${_kt_program}}" ${PROJECT_VERSION} ${_kt_page}
                       DEPENDS ${_kt_program} ${PROJECT_SOURCE_DIR}/packaging/man-page.sh VERBATIM)
    list(APPEND _kt_documents ${_kt_page})
    install(FILES ${_kt_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()
add_custom_target(kt_documents ALL DEPENDS ${_kt_documents})
