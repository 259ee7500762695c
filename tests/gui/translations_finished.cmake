# SPDX-License-Identifier: MIT
# Runs lrelease on TS and fails unless it reports every text finished.
execute_process(COMMAND ${LRELEASE} ${TS} -qm ${CMAKE_CURRENT_BINARY_DIR}/translations_check.qm
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lrelease failed: ${err}")
endif()
if(NOT out MATCHES "\\(([0-9]+) finished and 0 unfinished\\)")
  message(FATAL_ERROR "unfinished translations: ${out}")
endif()
message(STATUS "${out}")
