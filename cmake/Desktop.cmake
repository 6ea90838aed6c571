# SPDX-License-Identifier: GPL-3.0-or-later
# The program's place on a Linux desktop, all named by PELMORA_APP_ID: the
# desktop entry, the AppStream metadata, the icons in every size, the manual
# page and the documents. Also the header that gives the program the same id
# and the same media types (PELMORA_GENERATED_DIR/app/DesktopInfo.h).

set(PELMORA_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)

# The media types: one list, resources/mimetypes.txt.
set(mime_list ${CMAKE_CURRENT_SOURCE_DIR}/resources/mimetypes.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${mime_list})
file(STRINGS ${mime_list} mime_lines ENCODING UTF-8)
set(PELMORA_MIME_TYPES)
foreach(line IN LISTS mime_lines)
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(NOT line MATCHES "^[A-Za-z0-9][A-Za-z0-9.+-]*/[A-Za-z0-9][A-Za-z0-9.+-]*$")
    message(FATAL_ERROR "resources/mimetypes.txt: '${line}' is not a media type name")
  endif()
  list(APPEND PELMORA_MIME_TYPES ${line})
endforeach()

set(PELMORA_DESKTOP_MIME_TYPES "${PELMORA_MIME_TYPES};")
list(TRANSFORM PELMORA_MIME_TYPES PREPEND "    \"" OUTPUT_VARIABLE cxx)
list(TRANSFORM cxx APPEND "\",")
list(JOIN cxx "\n" PELMORA_MIME_TYPES_CXX)
list(TRANSFORM PELMORA_MIME_TYPES PREPEND "    <mediatype>" OUTPUT_VARIABLE xml)
list(TRANSFORM xml APPEND "</mediatype>")
list(JOIN xml "\n" PELMORA_METAINFO_MEDIATYPES)

configure_file(${CMAKE_CURRENT_SOURCE_DIR}/app/DesktopInfo.h.in
               ${PELMORA_GENERATED_DIR}/app/DesktopInfo.h @ONLY)
set(PELMORA_DESKTOP_FILE ${CMAKE_CURRENT_BINARY_DIR}/${PELMORA_APP_ID}.desktop)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/pelmora.desktop.in ${PELMORA_DESKTOP_FILE}
               @ONLY)
set(PELMORA_METAINFO_FILE ${CMAKE_CURRENT_BINARY_DIR}/${PELMORA_APP_ID}.metainfo.xml)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/resources/pelmora.metainfo.xml.in
               ${PELMORA_METAINFO_FILE} @ONLY)

# The icon: the SVG as it is, and PNGs in the sizes desktops ask for.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_svg ${CMAKE_CURRENT_SOURCE_DIR}/resources/icons/pelmora.svg)
set(icon_pngs)
foreach(size 16 24 32 48 64 128 256)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size})
  set(png ${dir}/${PELMORA_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
    DEPENDS ${icon_svg}
    COMMENT "Drawing the ${size}x${size} icon"
    VERBATIM)
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual page and changelog, compressed as Debian wants them (-n: no name or
# time stamp inside, so that the same source gives the same bytes).
function(pelmora_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/pelmora.1.gz)
pelmora_gzip(${CMAKE_CURRENT_SOURCE_DIR}/resources/pelmora.1 ${man_page})
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
pelmora_gzip(${CMAKE_CURRENT_SOURCE_DIR}/resources/debian/changelog ${changelog})

# The changelog's newest entry is this version.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^pelmora \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/debian/changelog does not begin with version ${PROJECT_VERSION}")
endif()

add_custom_target(pelmora_desktop_files ALL DEPENDS ${icon_pngs} ${man_page} ${changelog})

install(FILES ${PELMORA_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PELMORA_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${PELMORA_APP_ID}.svg)
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/debian/copyright ${changelog}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
