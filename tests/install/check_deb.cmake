# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the .deb from the build tree into a temporary folder and checks its contents and that
# dpkg-shlibdeps computed its dependencies (the Qt libraries the programs link).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
get_filename_component(cmake_bin ${CMAKE_COMMAND} DIRECTORY)
find_program(CPACK cpack HINTS ${cmake_bin} REQUIRED)
find_program(DPKG_DEB dpkg-deb REQUIRED)
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
                WORKING_DIRECTORY ${WORK_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 100)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
file(GLOB debs ${WORK_DIR}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${WORK_DIR}, found: ${debs}")
endif()

execute_process(COMMAND ${DPKG_DEB} --field ${debs} Package Depends
                RESULT_VARIABLE result OUTPUT_VARIABLE fields TIMEOUT 30)
message(STATUS "${fields}")
if(NOT result EQUAL 0 OR NOT fields MATCHES "Package: vantora\n"
   OR NOT fields MATCHES "Depends:[^\n]*libqt6widgets6" OR NOT fields MATCHES "Depends:[^\n]*libc6"
   OR NOT fields MATCHES "Depends:[^\n]*libqt6multimedia6" OR NOT fields MATCHES "Depends:[^\n]*libcdio")
  message(FATAL_ERROR "package fields lack the computed dependencies:\n${fields}")
endif()

execute_process(COMMAND ${DPKG_DEB} --contents ${debs}
                RESULT_VARIABLE result OUTPUT_VARIABLE contents TIMEOUT 30)
foreach(path ./usr/bin/vantora ./usr/bin/vantora-drive ./usr/lib/vantora/libvantora-sound.so
        ./usr/share/applications/vantora.desktop
        ./usr/share/metainfo/org.vantora.Vantora.metainfo.xml ./usr/share/man/man1/vantora.1
        ./usr/share/man/man1/vantora-drive.1 ./usr/share/icons/hicolor/256x256/apps/vantora.png)
  string(REPLACE "." "\\." pattern "${path}")
  if(NOT contents MATCHES " ${pattern}\n")
    message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
  endif()
endforeach()
