# SPDX-License-Identifier: MIT
# The MIME database, the desktop entry cache and the hicolor icon cache under
# DATA_ROOT (the installed share/ folder), after `make install` and
# `make uninstall`. Nothing happens when DESTDIR is set, because then the
# tree is staged, not in use.
#
# After an install each cache is rebuilt, when its tool is present. After an
# uninstall (VZA_CACHES "uninstall") a cache is rebuilt when other entries
# remain in its folder, and removed, with everything its tool generated, when
# ours was the last: an install into an empty prefix leaves nothing behind.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
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

# vza_remove_generated(dir names...): removes the named files of dir.
function(vza_remove_generated dir)
  foreach(name IN LISTS ARGN)
    if(EXISTS "${dir}/${name}" AND NOT IS_DIRECTORY "${dir}/${name}")
      message(STATUS "Removing ${dir}/${name}")
      file(REMOVE "${dir}/${name}")
    endif()
  endforeach()
endfunction()

set(mime "${DATA_ROOT}/mime")
set(applications "${DATA_ROOT}/applications")
set(hicolor "${DATA_ROOT}/icons/hicolor")
set(mime_left TRUE)
set(applications_left TRUE)
set(icons_left TRUE)
if(VZA_CACHES STREQUAL "uninstall")
  file(GLOB mime_left "${mime}/packages/*.xml")
  file(GLOB_RECURSE applications_left "${applications}/*.desktop")
  file(GLOB_RECURSE icons_left "${hicolor}/*.png" "${hicolor}/*.svg" "${hicolor}/*.svgz" "${hicolor}/*.xpm")
endif()

if(mime_left)
  vza_refresh(update-mime-database "${mime}")
elseif(EXISTS "${mime}/mime.cache")
  # The tool drops the types' own files, leaving their folders empty.
  vza_refresh(update-mime-database "${mime}")
  vza_remove_generated("${mime}" XMLnamespaces aliases generic-icons globs globs2 icons magic mime.cache
                       subclasses treemagic types version)
  file(GLOB media_types LIST_DIRECTORIES true "${mime}/*")
  foreach(folder IN LISTS media_types)
    file(GLOB inside "${folder}/*")
    if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}" AND NOT inside AND NOT folder MATCHES "/packages$")
      file(REMOVE_RECURSE "${folder}")
    endif()
  endforeach()
endif()

if(applications_left)
  vza_refresh(update-desktop-database "${applications}")
else()
  vza_remove_generated("${applications}" mimeinfo.cache)
endif()

if(icons_left)
  # -t: also when the theme folder has no index.theme (a fresh /usr/local).
  vza_refresh(gtk-update-icon-cache "${hicolor}" -q -t -f)
else()
  vza_remove_generated("${hicolor}" icon-theme.cache)
endif()
