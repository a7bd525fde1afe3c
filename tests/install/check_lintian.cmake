# SPDX-License-Identifier: GPL-3.0-or-later
# The built package is lintian clean, pedantic checks included: no error and no warning.
file(GLOB deb ${WORK_DIR}/vantora_*.deb)
execute_process(COMMAND ${LINTIAN} --pedantic --tag-display-limit 0 ${deb}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 300)
message(STATUS "lintian: ${result}\n${output}")
if(NOT result EQUAL 0 OR output MATCHES "(^|\n)[EW]: ")
  message(FATAL_ERROR "lintian found errors or warnings in ${deb}")
endif()
