# Installation layout and the Debian package. Included at the end of the top-level CMakeLists.txt,
# after every target exists, so install(TARGETS) can name targets of other folders.
#
#   bin/kolvane, bin/kolvane-calc, bin/kolvane-launcher (the menu entry's command)
#   share/kolvane/workspace/   sample templates, setups/ (ready-made calculations), Loops/ (the
#                              sample loop records of a made-up exchange) and Measured/ (a made-up
#                              line's measurement in each format), copied to
#                              ~/.local/share/kolvane/workspace on first use
#   share/kolvane/help.chm     compiled help; share/kolvane/help/index.html the same help as HTML
#   share/applications, share/metainfo, share/icons/hicolor

set(KOLVANE_APP_ID invalid.kolvane.Kolvane)
set(KOLVANE_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS kolvane kolvane-calc kolvane-launcher RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/workspace/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kolvane/workspace)
# The ready-made scenarios travel inside the workspace, where "Открыть расчёт…" starts.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/setups/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kolvane/workspace/setups)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/loops/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kolvane/workspace/Loops)
# Three files of one made-up line, one per measurement format, to try "Импорт измерений линии…" on.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/measured/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kolvane/workspace/Measured)

install(FILES ${KOLVANE_PACKAGING_DIR}/kolvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KOLVANE_PACKAGING_DIR}/${KOLVANE_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/main.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME kolvane.svg)
foreach(size ${KOLVANE_HICOLOR_SIZES})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/images/hicolor/kolvane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kolvane.png)
endforeach()
install(FILES ${KOLVANE_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kolvane)

# Debian package: cpack -G DEB (scripts/package.sh builds one from a clean Release tree).
set(CPACK_PACKAGE_NAME kolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kolvane developers")
set(CPACK_PACKAGE_CONTACT "Kolvane developers <dev@kolvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "DSL line-rate calculator for copper access network planning")
# One string: separate arguments would become a list, and its ";" would reach the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kolvane estimates the bit rates that ADSL, ADSL2, ADSL2+, VDSL2 and SHDSL lines\n"
    "can reach over a copper cable, as curves of rate against cable length, from the\n"
    "cable attenuation, the bundle load, the NEXT and ELFEXT crosstalk norms, the SNR\n"
    "margin and the additive noise. It includes template editors, CSV/PDF/PNG/JPG\n"
    "export and the command-line calculator kolvane-calc.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY kolvane)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kolvane developers <dev@kolvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's JPEG plugin (JPG export) is part of libqt6gui6, which dpkg-shlibdeps finds anyway.
# The help file needs a viewer for compiled HTML help; the HTML copy needs only a browser.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xchm | kchmviewer")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build[^/]*/;/\\\\.git/")
include(CPack)
