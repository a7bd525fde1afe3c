# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the vantora component into a temporary root and checks that exactly the expected files
# land under /usr, that the launcher entry names what was installed, and that the program runs.
set(root ${WORK_DIR}/root)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr --component vantora
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 60)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

set(expected
    usr/bin/vantora
    usr/bin/vantora-drive
    usr/lib/vantora/libvantora-lookup.so
    usr/lib/vantora/libvantora-sound.so
    usr/share/applications/vantora.desktop
    usr/share/icons/hicolor/scalable/apps/vantora.svg
    usr/share/man/man1/vantora-drive.1
    usr/share/man/man1/vantora.1
    usr/share/metainfo/org.vantora.Vantora.metainfo.xml)
foreach(size IN LISTS ICON_SIZES)
  list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/vantora.png)
endforeach()
list(SORT expected)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
list(SORT found)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found_lines "${found}")
  string(REPLACE ";" "\n  " expected_lines "${expected}")
  message(FATAL_ERROR "installed:\n  ${found_lines}\nexpected:\n  ${expected_lines}")
endif()

# Each icon is a PNG of the size its folder names (IHDR width and height, big-endian).
foreach(size IN LISTS ICON_SIZES)
  set(png ${root}/usr/share/icons/hicolor/${size}x${size}/apps/vantora.png)
  file(READ ${png} signature LIMIT 8 HEX)
  file(READ ${png} dimensions OFFSET 16 LIMIT 8 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${want}" 2 -1 want)
  string(LENGTH "${want}" digits)
  math(EXPR pad "8 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  string(TOLOWER "${zeros}${want}${zeros}${want}" want)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT dimensions STREQUAL want)
    message(FATAL_ERROR "${png}: signature ${signature}, IHDR size ${dimensions}, want ${want}")
  endif()
endforeach()

# The launcher runs an installed program and shows an installed icon; the metainfo launches it.
file(STRINGS ${root}/usr/share/applications/vantora.desktop exec REGEX "^Exec=")
file(STRINGS ${root}/usr/share/applications/vantora.desktop icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
if(NOT EXISTS ${root}/usr/bin/${exec})
  message(FATAL_ERROR "the launcher runs '${exec}', which is not installed in /usr/bin")
endif()
if(NOT EXISTS ${root}/usr/share/icons/hicolor/48x48/apps/${icon}.png)
  message(FATAL_ERROR "the launcher shows icon '${icon}', which is not in the hicolor theme")
endif()
file(READ ${root}/usr/share/metainfo/org.vantora.Vantora.metainfo.xml metainfo)
if(NOT metainfo MATCHES "<launchable type=\"desktop-id\">vantora.desktop</launchable>")
  message(FATAL_ERROR "the metainfo does not launch vantora.desktop")
endif()

# The installed program runs without the build tree (no build-time library paths needed).
execute_process(COMMAND ${root}/usr/bin/vantora --version
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 30)
if(NOT result EQUAL 0 OR NOT output STREQUAL "vantora ${VERSION}\n")
  message(FATAL_ERROR "installed vantora --version: ${result}, '${output}' ${errors}")
endif()
