# What `cmake --install` puts where, and the Debian package `cpack -G DEB`
# makes of it. Included at the end of the top CMakeLists.txt, once every
# target exists.
include(GNUInstallDirs)

set(_kt_programs kt6100 kt6100-sim)
# The command-line program is optional so that the tree builds without it.
if(TARGET kt6100-cli)
  list(APPEND _kt_programs kt6100-cli)
endif()
install(TARGETS ${_kt_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/kt6100.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kt6100.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/profiles/lamp-25w.json
              ${PROJECT_SOURCE_DIR}/profiles/t8-36w-ballast.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kt6100/profiles)
include(${PROJECT_SOURCE_DIR}/packaging/Documents.cmake)

set(CPACK_PACKAGE_NAME kt6100)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KT6100 team")
set(CPACK_PACKAGE_CONTACT "KT6100 team <kt6100@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the KT6100 electronic-ballast tester")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "KT6100 team <kt6100@example.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# CPack puts the summary in front and indents each line by one space.
set(_kt_description
    "Drives the KT6100 electronic-ballast tester over a serial line: runs its"
    "input, output, comprehensive, start, phase-angle, envelope and"
    "high-frequency tests, shows the decoded values and curves in Chinese or"
    "English, judges each run against a limit profile, prints test reports and"
    "keeps a run log in SQLite or PostgreSQL.")
if(TARGET kt6100-cli)
  list(APPEND _kt_description "kt6100-cli runs the same tests without a window.")
endif()
list(APPEND _kt_description
     "kt6100-sim is a simulated instrument on a pseudo-terminal, for trying the"
     "program without the hardware.")
list(JOIN _kt_description "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see, because Qt loads it at run time: the SQL
# drivers of the run log, Qt's own Chinese texts, and the fonts the font
# substitutions map the window's fonts to (the tree ships none). The X11
# platform plugin comes with libqt6gui6, which shlibdeps finds.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-psql, qt6-translations-l10n, fonts-arphic-uming, fonts-liberation | fonts-liberation2, fonts-dejavu-core")

set(CPACK_GENERATOR DEB)
include(CPack)
