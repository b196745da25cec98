# The icon, the installed files and the Debian package (./dev package).
# Included from the top level, so the rendered icons can join lectern_core's
# resources.

set(LECTERN_APP_ID io.github.lectern.Lectern)
# Whoever builds the package for a school puts their own address here.
set(LECTERN_MAINTAINER "Lectern developers <lectern@example.org>" CACHE STRING "Maintainer of the Debian package")
set(LECTERN_PACKAGE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/resources/package)

# Every bitmap size is rendered from the one hand-drawn SVG; none is kept by hand.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(LECTERN_ICON_SVG ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/lectern.svg)
set(LECTERN_ICON_SIZES 16 22 24 32 48 64 128 256)
set(LECTERN_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(LECTERN_ICON_PNGS)
foreach(size ${LECTERN_ICON_SIZES})
    set(png ${LECTERN_ICON_DIR}/${size}x${size}/apps/lectern.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${LECTERN_ICON_DIR}/${size}x${size}/apps
        COMMAND ${RSVG_CONVERT} --width ${size} --height ${size} --keep-aspect-ratio
                --output ${png} ${LECTERN_ICON_SVG}
        DEPENDS ${LECTERN_ICON_SVG}
        COMMENT "Rendering the ${size} px icon")
    list(APPEND LECTERN_ICON_PNGS ${png})
endforeach()
qt_add_resources(lectern_core lectern_icons PREFIX /icons BASE ${LECTERN_ICON_DIR} FILES ${LECTERN_ICON_PNGS})

# The manual page and the Debian change log, compressed as Debian wants them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(LECTERN_MAN ${CMAKE_CURRENT_BINARY_DIR}/package/lectern.1.gz)
set(LECTERN_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/package/changelog.gz)
configure_file(${LECTERN_PACKAGE_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/package/changelog @ONLY)
configure_file(${LECTERN_PACKAGE_DIR}/lectern.metainfo.xml
    ${CMAKE_CURRENT_BINARY_DIR}/package/${LECTERN_APP_ID}.metainfo.xml @ONLY)
# groff cannot break lines between Chinese characters by itself: every one
# gets a zero-width break point, except in the headings and the name line,
# which the whatis database reads as they are.
find_program(PERL_PROGRAM perl REQUIRED)
set(LECTERN_MAN_COPY ${CMAKE_CURRENT_BINARY_DIR}/package/lectern.1)
add_custom_command(OUTPUT ${LECTERN_MAN}
    COMMAND ${CMAKE_COMMAND} -E copy ${LECTERN_PACKAGE_DIR}/lectern.1 ${LECTERN_MAN_COPY}
    COMMAND ${PERL_PROGRAM} -CSD -i -pe "s/(\\p{Han}|\\p{InCJKSymbolsAndPunctuation}|\\p{InHalfwidthAndFullwidthForms}|\\x{2026})/\$1\\\\:/g unless /^(\\.S[HS]|\\.TH|lectern )/" ${LECTERN_MAN_COPY}
    COMMAND ${GZIP_PROGRAM} -9n -f ${LECTERN_MAN_COPY}
    DEPENDS ${LECTERN_PACKAGE_DIR}/lectern.1
    VERBATIM)
add_custom_command(OUTPUT ${LECTERN_CHANGELOG}
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_CURRENT_BINARY_DIR}/package/changelog > ${LECTERN_CHANGELOG}
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/package/changelog)
add_custom_target(package_files ALL DEPENDS ${LECTERN_MAN} ${LECTERN_CHANGELOG})

include(GNUInstallDirs)
install(TARGETS lectern RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${LECTERN_PACKAGE_DIR}/lectern.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${LECTERN_APP_ID}.desktop)
install(FILES ${LECTERN_PACKAGE_DIR}/lectern-dpz.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/package/${LECTERN_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${LECTERN_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${LECTERN_ICON_SIZES})
    install(FILES ${LECTERN_ICON_DIR}/${size}x${size}/apps/lectern.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${LECTERN_MAN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${SAMPLE_LESSON} DESTINATION ${CMAKE_INSTALL_DATADIR}/lectern)
install(FILES ${LECTERN_CHANGELOG} ${LECTERN_PACKAGE_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lectern)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lectern)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "touch-first PDF annotation for classroom displays")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Lectern (青简批注) shows PDF lessons, its own .dpz annotation packages,\nWord documents and pictures on classroom touch displays and lets the\nteacher write on them with pen, finger or mouse. Ink is kept apart from\nthe PDF, saved as a package or exported as an inked PDF or PNG pages;\nunsaved ink comes back after a crash. The interface is Chinese.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LECTERN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "libreoffice-writer-nogui | libreoffice-writer, libreoffice-impress-nogui | libreoffice-impress, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei, xdg-utils")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_CURRENT_BINARY_DIR})
include(CPack)
