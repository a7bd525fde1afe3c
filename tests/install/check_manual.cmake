# SPDX-License-Identifier: GPL-3.0-or-later
# Formats the manual page with every groff warning on; any warning fails the check.
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 30)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "groff on ${PAGE} (${result}):\n${output}")
endif()
