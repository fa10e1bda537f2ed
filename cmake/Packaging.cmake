# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# What `make install` and the Debian package put beside the two programs, and the package itself.

install(FILES ${PROJECT_SOURCE_DIR}/resources/quvelta.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/io.github.quvelta.Quvelta.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME quvelta.svg)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icon-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quvelta.png)
endforeach()

# Debian wants manual pages compressed, and reproducibly so (no name or time in the header).
find_program(QUVELTA_GZIP gzip)
foreach(page quvelta.1 quvelta-render.1)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
    if(QUVELTA_GZIP)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
            COMMAND ${QUVELTA_GZIP} -9nc ${source} > ${PROJECT_BINARY_DIR}/man/${page}.gz
            DEPENDS ${source} VERBATIM)
        list(APPEND quvelta_man_pages ${PROJECT_BINARY_DIR}/man/${page}.gz)
    else()
        list(APPEND quvelta_man_pages ${source})
    endif()
endforeach()
add_custom_target(quvelta_man ALL DEPENDS ${quvelta_man_pages})
install(FILES ${quvelta_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# One copyright file: the program's licence, then that of the font compiled into it.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE quvelta_licence)
file(READ ${PROJECT_SOURCE_DIR}/resources/fonts/LICENSE-DejaVu.txt quvelta_font_licence)
file(WRITE ${PROJECT_BINARY_DIR}/copyright
    "Quvelta\n\n${quvelta_licence}\n\n${quvelta_font_licence}")
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quvelta)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quvelta)
set(CPACK_PACKAGE_VENDOR "The Quvelta developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "printable optical encoder strips and discs at exact size")
set(CPACK_PACKAGE_DESCRIPTION
    "Quvelta draws the printable pattern of an optical encoder, the code strip of a linear\n"
    "encoder or the code disc of a rotary encoder, at its exact physical size: absolute\n"
    "codes (binary, Gray, single-track) and relative ones with quadrature and index, as\n"
    "images, PDF for 1:1 printing, SVG and DXF. It has a window (quvelta) and a command\n"
    "(quvelta-render).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quvelta developers")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Depends from the libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded, not linked: Qt's TIFF reader, for --measure on a TIFF scan; GEOS and lib3mf, for cut
# and solid parts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, libgeos-c1v5, lib3mf1")
# Qt's own texts (buttons of its dialogs) in the user's language; the window's are built in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
