# SPDX-License-Identifier: GPL-3.0-or-later
# The name a program linked against lib<NAME> would record (its SONAME), for libraries the program
# loads itself on first use.
function(vantora_soname name hints out)
  find_library(vantora_soname_${name} NAMES ${name} HINTS ${hints} REQUIRED)
  set(library ${vantora_soname_${name}})
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump
                  RESULT_VARIABLE failed)
  string(REGEX MATCH "SONAME +([^\n ]+)" found "${dump}")
  if(failed OR NOT found)
    message(FATAL_ERROR "No SONAME found in ${library}")
  endif()
  set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  # The package needs them though nothing links them (see cmake/install.cmake).
  set_property(GLOBAL APPEND PROPERTY VANTORA_LOADED_LIBRARIES ${library})
endfunction()
