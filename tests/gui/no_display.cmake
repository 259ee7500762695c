# SPDX-License-Identifier: MIT
# Runs PROGRAM with no display variables set and checks that it refuses to
# start with exit code 1 and a message that tells how to run it.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
          ${PROGRAM}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 30)
if(NOT result EQUAL 1)
  message(FATAL_ERROR "expected exit code 1, got '${result}'\n${err}")
endif()
foreach(hint "no display" "xvfb-run -a ${PROGRAM}" "QT_QPA_PLATFORM=offscreen ${PROGRAM}")
  string(FIND "${err}" "${hint}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "stderr lacks '${hint}':\n${err}")
  endif()
endforeach()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "unexpected stdout:\n${out}")
endif()
