# SPDX-License-Identifier: MIT
# Refreshes the MIME database, the desktop entry cache and the hicolor icon
# cache under DATA_ROOT (the installed share/ folder), each only when its tool
# is present. Used after `make install` and `make uninstall`; does nothing
# when DESTDIR is set, because then the tree is staged, not in use.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
if(NOT DATA_ROOT)
  set(DATA_ROOT "${CMAKE_INSTALL_PREFIX}/${VZA_DATADIR}")
endif()

function(vza_refresh tool dir)
  find_program(program ${tool} NO_CACHE)
  if(program AND IS_DIRECTORY "${dir}")
    message(STATUS "Running ${tool} ${dir}")
    execute_process(COMMAND ${program} ${ARGN} ${dir} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(WARNING "${tool} ${dir} failed (${result})")
    endif()
  endif()
endfunction()

vza_refresh(update-mime-database "${DATA_ROOT}/mime")
vza_refresh(update-desktop-database "${DATA_ROOT}/applications")
# -t: also when the theme folder has no index.theme (a fresh /usr/local).
vza_refresh(gtk-update-icon-cache "${DATA_ROOT}/icons/hicolor" -q -t -f)
