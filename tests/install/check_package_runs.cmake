# SPDX-License-Identifier: GPL-3.0-or-later
# Unpacks the built package into a throwaway root and starts its programs from there, so a file or
# library the package lacks shows here, and checks that its programs carry the hardening flags.
file(GLOB deb ${WORK_DIR}/vantora_*.deb)
set(root ${WORK_DIR}/root)
file(REMOVE_RECURSE ${root} ${WORK_DIR}/drive ${WORK_DIR}/config)
file(MAKE_DIRECTORY ${WORK_DIR}/drive ${WORK_DIR}/config)
execute_process(COMMAND dpkg -x ${deb} ${root} RESULT_VARIABLE result TIMEOUT 60)
set(bin ${root}/usr/bin)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err
                  TIMEOUT 60)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${result}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${bin}/vantora --version)
if(NOT out STREQUAL "vantora ${VERSION}\n")
  message(FATAL_ERROR "the packaged vantora says '${out}'")
endif()
run(${bin}/vantora-drive --drive ${WORK_DIR}/drive insert --demo)
run(${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen VANTORA_CONFIG_DIR=${WORK_DIR}/config
    ${bin}/vantora --drive ${WORK_DIR}/drive --screenshot ${WORK_DIR}/packaged.png)
file(READ ${WORK_DIR}/packaged.png signature LIMIT 8 HEX)
if(NOT signature STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "the packaged player saved no picture: ${out}")
endif()
# Playing loads the sound module from where the package put it; with no sound server there it
# says so, and anything else it says is a module it could not load.
file(WRITE ${WORK_DIR}/config/ZQ_CD.INI "[CD Player Settings]\nProduct=Vantora\nAuto Play=1\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                        VANTORA_CONFIG_DIR=${WORK_DIR}/config PULSE_SERVER=unix:${WORK_DIR}/none
                        ${bin}/vantora --drive ${WORK_DIR}/drive --screenshot ${WORK_DIR}/played.png
                RESULT_VARIABLE result ERROR_VARIABLE err TIMEOUT 60)
if(NOT result EQUAL 0 OR NOT err MATCHES "no sound output, so playback is silent"
   OR err MATCHES "cannot open")
  message(FATAL_ERROR "the packaged player did not load its sound output: ${result}\n${err}")
endif()

# The code is built with -fcf-protection, but Debian 12's C start files (Scrt1.o, crti.o) carry
# no CET note, so no linked program can claim it and that one check is left out.
if(HARDENING_CHECK)
  run(${HARDENING_CHECK} --quiet --nocfprotection ${bin}/vantora ${bin}/vantora-drive)
endif()
