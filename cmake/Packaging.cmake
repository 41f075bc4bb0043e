# Installation and the Debian package: the two programs, and for the desktop program its desktop
# entry, icon and AppStream metadata; the manual pages and the bash completion of marlo-cli.
# `cmake --install` puts them under CMAKE_INSTALL_PREFIX; `cpack -G DEB` makes marlo_VERSION_ARCH.deb.
include(GNUInstallDirs)

# The one name of the desktop entry, the icon and the metadata (it is also the window's icon).
set(MARLO_APP_ID io.github.marlo.Marlo)
set(MARLO_RESOURCES ${CMAKE_SOURCE_DIR}/resources)
set(MARLO_ICON_SIZES 16 22 24 32 48 64 128 256)

install(TARGETS marlo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages go in gzip-compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(man_pages marlo-cli)
if(TARGET marlo)
  list(APPEND man_pages marlo)
endif()
set(man_outputs)
foreach(page ${man_pages})
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${MARLO_RESOURCES}/man/${page}.1 > ${out}
    DEPENDS ${MARLO_RESOURCES}/man/${page}.1 VERBATIM)
  list(APPEND man_outputs ${out})
endforeach()
add_custom_target(marlo_man ALL DEPENDS ${man_outputs})
install(FILES ${man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${MARLO_RESOURCES}/completion/marlo-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(TARGET marlo)
  install(TARGETS marlo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  target_compile_definitions(marlo PRIVATE MARLO_APP_ID="${MARLO_APP_ID}")
  install(FILES ${MARLO_RESOURCES}/desktop/${MARLO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${MARLO_RESOURCES}/desktop/${MARLO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${MARLO_RESOURCES}/icons/marlo.svg
    DESTINATION ${icons}/scalable/apps RENAME ${MARLO_APP_ID}.svg)
  # The bitmap sizes are rendered from the drawing, so that the two cannot drift apart.
  find_program(RSVG_CONVERT rsvg-convert)
  if(RSVG_CONVERT)
    set(pngs)
    foreach(size ${MARLO_ICON_SIZES})
      set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${MARLO_APP_ID}.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${MARLO_RESOURCES}/icons/marlo.svg
        DEPENDS ${MARLO_RESOURCES}/icons/marlo.svg VERBATIM)
      list(APPEND pngs ${png})
      install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps)
    endforeach()
    add_custom_target(marlo_icons ALL DEPENDS ${pngs})
  else()
    message(WARNING "rsvg-convert (Debian: librsvg2-bin) not found: only the scalable icon is "
                    "installed")
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marlo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial line and telnet terminal for BBS hosts")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Marlo talks to hosts over a serial line, directly or through a Hayes modem, and over\n"
  "telnet, with kanji code conversion (Shift-JIS, old and new JIS, NEC kanji, EUC), VT100\n"
  "and VT52, file transfer (XMODEM, YMODEM, ZMODEM), a macro language, a host table with\n"
  "auto-logon, capture logs and a connection history. marlo-cli reaches the same engine\n"
  "without a window.")
set(CPACK_PACKAGE_CONTACT "Marlo developers <marlo@example.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps (Qt 6 among them); these are used at
# run time without being linked: the Japanese fonts, and LZH extraction.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, liblhasa0")
# Qt's own dialogs in Japanese; opening files and folders with the desktop's programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
include(CPack)

# The packaging tests: an install into a temporary folder, and the .deb read back.
if(MARLO_TESTS AND TARGET marlo)
  add_test(NAME packaging_install
    COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/install-test.sh
      ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${MARLO_APP_ID})
  add_test(NAME packaging_deb
    COMMAND ${CMAKE_SOURCE_DIR}/tests/packaging/deb-test.sh
      ${CMAKE_BINARY_DIR} ${PROJECT_VERSION} ${MARLO_APP_ID})
  set_tests_properties(packaging_install packaging_deb PROPERTIES LABELS packaging TIMEOUT 300)
endif()
