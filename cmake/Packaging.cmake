# SPDX-License-Identifier: GPL-3.0-or-later
# A Debian package of the installed files: `cpack -G DEB` in the build
# directory gives pelmora_<version>_<arch>.deb, its library dependencies
# found by dpkg-shlibdeps.

set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR "The Pelmora developers")
set(CPACK_PACKAGE_CONTACT "Pelmora developers <dev@pelmora.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
# The long description as the control file shows it: lines of at most 80
# characters.
set(CPACK_PACKAGE_DESCRIPTION [[
Pelmora plays lectures, radio shows, meetings and films, everything that
libmpv plays, and adds what listeners of long recordings need: it remembers
where playback stopped and resumes there at the next start, jumps by fixed
steps on function keys, opens a file at a typed start time, repeats a stretch
between two marks, and keeps a playlist, the recent files and a list of
recorded positions with comments. Its user interface is Japanese.]])
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not found by dpkg-shlibdeps: the window system
# plugins and the SVG icon engine (the menu icons), libmpv and libavformat.
set(late)
foreach(library MPV AVFORMAT AVCODEC AVUTIL)
  if(PELMORA_${library}_LIBRARY_DEPENDS)
    list(APPEND late "${PELMORA_${library}_LIBRARY_DEPENDS}")
  endif()
endforeach()
list(JOIN late ", " late)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, ${late}")
# Wayland sessions, the toolkit's Japanese texts, the fonts the windows are
# laid out for, the desktop's opener for help and readme, the icon theme.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-wayland, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
