# SPDX-License-Identifier: MIT
# Part of a stripped install (cmake --install --strip; CPack's
# CPACK_STRIP_FILES): after CMake has stripped the programs, removes what
# Debian's dh_strip also removes and nothing reads at run or link time: the
# .comment and .note sections of the programs, and the debugging information
# and .comment sections of the static libraries (kept deterministic).
# Reads the files installed so far from CMAKE_INSTALL_MANIFEST_FILES.
if(NOT VZA_STRIP)
  return()
endif()
foreach(installed IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  set(file "$ENV{DESTDIR}${installed}")
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  if(installed MATCHES "/${VZA_STRIP_BINDIR}/[^/]+$")
    set(options --remove-section=.comment --remove-section=.note)
  elseif(installed MATCHES "/${VZA_STRIP_LIBDIR}/[^/]+\\.a$")
    set(options --strip-debug --remove-section=.comment --remove-section=.note --enable-deterministic-archives)
  else()
    continue()
  endif()
  execute_process(COMMAND ${VZA_STRIP} ${options} "${file}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${VZA_STRIP} ${options} ${file} failed (${result})")
  endif()
endforeach()
