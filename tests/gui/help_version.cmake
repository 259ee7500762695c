# SPDX-License-Identifier: MIT
# Runs PROGRAM --help and --version with no display variables set: each
# prints its text on stdout and exits 0, before Qt looks for a display.
foreach(option --help --version)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            ${PROGRAM} ${option}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    TIMEOUT 30)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${option}: expected exit code 0, got '${result}'\n${err}")
  endif()
  if(option STREQUAL "--help")
    set(expected "使い方: vza-extract [ファイル]\n")
  else()
    set(expected "vza-extract ${VERSION}\n")
  endif()
  string(FIND "${out}" "${expected}" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "${option}: stdout does not start with '${expected}':\n${out}")
  endif()
  if(NOT err STREQUAL "")
    message(FATAL_ERROR "${option}: unexpected stderr:\n${err}")
  endif()
endforeach()
