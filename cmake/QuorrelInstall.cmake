# `cmake --install` puts the programs, their man pages and, with the screens,
# the desktop entry, the icons and the AppStream metainfo in the usual places
# under the prefix; `cpack -G DEB` makes a Debian package of the same tree.
include(GNUInstallDirs)
set(QUORREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUORREL_APP_ID org.quorrel.Quorrel)

install(TARGETS quorrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# quorrel-cli.1 is made from the program's own --help and --version, so the
# page never drifts from the options.
find_program(QUORREL_HELP2MAN help2man)
if(QUORREL_HELP2MAN)
  set(cli_man ${CMAKE_CURRENT_BINARY_DIR}/quorrel-cli.1)
  add_custom_command(OUTPUT ${cli_man}
    COMMAND ${QUORREL_HELP2MAN} --no-info --no-discard-stderr
            --name "retirement-income analysis from the command line"
            --output ${cli_man} $<TARGET_FILE:quorrel-cli>
    DEPENDS quorrel-cli
    COMMENT "Writing the quorrel-cli manual page" VERBATIM)
  add_custom_target(quorrel_man ALL DEPENDS ${cli_man})
  install(FILES ${cli_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: quorrel-cli.1 is not made")
endif()

if(QUORREL_GUI AND QUORREL_SCREENS)
  install(TARGETS quorrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${QUORREL_PACKAGING_DIR}/quorrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${QUORREL_PACKAGING_DIR}/${QUORREL_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${QUORREL_PACKAGING_DIR}/${QUORREL_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${QUORREL_PACKAGING_DIR}/icons/${QUORREL_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 64 128 256)
    install(FILES ${QUORREL_PACKAGING_DIR}/icons/${QUORREL_APP_ID}-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${QUORREL_APP_ID}.png)
  endforeach()
endif()

set(CPACK_PACKAGE_NAME quorrel)
set(CPACK_PACKAGE_VENDOR "Quorrel")
set(CPACK_PACKAGE_CONTACT "Quorrel developers <developers@quorrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Retirement-income analyser for retirees and their advisers")
set(CPACK_PACKAGE_DESCRIPTION
  "Ruin probabilities within 10, 20 and 30 years and over a lifetime, wealth percentiles, the expected ruin age, expected income and survival, from a retiree's wealth, pensions, annuity purchases, investment mix and assumptions.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt, libcsv, the C++ runtime) become the
# package's dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
