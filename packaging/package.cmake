# SPDX-License-Identifier: GPL-3.0-or-later
# What an installation holds; debian/ makes the Debian package of it. The manual pages, the
# changelog and the PNG icons are made from their sources at build time, so what is committed
# stays the one source of each.
include(GNUInstallDirs)

set(KORVANET_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KORVANET_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/debian)
set(KORVANET_PACKAGE_DATA_DIR ${CMAKE_BINARY_DIR}/packaging)
set(KORVANET_ICON_SIZES 16 32 48 64 128 256)

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

set(package_data)

# Debian wants them compressed with -9 and without a time stamp (-n), so that two builds of
# the same sources give the same bytes.
function(korvanet_gzip source output)
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" ${GZIP} ${source} ${output}
        DEPENDS ${source}
        VERBATIM)
    set(package_data ${package_data} ${output} PARENT_SCOPE)
endfunction()

foreach(page korvanet.1 korvanet-modem-sim.1)
    korvanet_gzip(${KORVANET_PACKAGING_DIR}/man/${page} ${KORVANET_PACKAGE_DATA_DIR}/${page}.gz)
    install(FILES ${KORVANET_PACKAGE_DATA_DIR}/${page}.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The package is native, so its changelog is the Debian one under the plain name.
korvanet_gzip(${KORVANET_DEBIAN_DIR}/changelog ${KORVANET_PACKAGE_DATA_DIR}/changelog.gz)

# Menus, panels and older toolkits that cannot draw SVG look for these sizes.
foreach(size IN LISTS KORVANET_ICON_SIZES)
    set(png ${KORVANET_PACKAGE_DATA_DIR}/icons/${size}x${size}/korvanet.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png}
                ${KORVANET_PACKAGING_DIR}/korvanet.svg
        DEPENDS ${KORVANET_PACKAGING_DIR}/korvanet.svg
        VERBATIM)
    list(APPEND package_data ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

add_custom_target(korvanet_package_data ALL DEPENDS ${package_data})

install(TARGETS korvanet korvanet-modem-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KORVANET_PACKAGING_DIR}/korvanet.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KORVANET_PACKAGING_DIR}/korvanet.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${KORVANET_PACKAGING_DIR}/io.github.korvanet.Korvanet.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${KORVANET_DEBIAN_DIR}/copyright ${KORVANET_PACKAGE_DATA_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
