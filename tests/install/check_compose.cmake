# SPDX-License-Identifier: GPL-3.0-or-later
# Software centres build their catalogue with `appstreamcli compose` on the installed tree: it must
# find the player's component, its icons included, and report no error.
set(root ${WORK_DIR}/root)
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${root}
          ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr --component vantora
  RESULT_VARIABLE result OUTPUT_QUIET TIMEOUT 60)
execute_process(COMMAND ${APPSTREAMCLI} compose --no-net --no-color --print-report=full
                        --prefix=/usr --origin=vantora
                        --result-root=${WORK_DIR}/out ${root}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 120)
message(STATUS "${output}")
file(GLOB_RECURSE catalog ${WORK_DIR}/out/*vantora.xml.gz)
file(GLOB_RECURSE icons ${WORK_DIR}/out/*org.vantora.Vantora.png)
if(NOT result EQUAL 0 OR output MATCHES "(^|\n)E: " OR NOT catalog OR NOT icons)
  message(FATAL_ERROR "compose (${result}) gave catalogue '${catalog}', icons '${icons}'")
endif()
