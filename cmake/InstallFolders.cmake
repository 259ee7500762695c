# SPDX-License-Identifier: MIT
# Which folders an install creates, so that `make uninstall` removes those
# and never one that was there before (cmake/Uninstall.cmake).
#
# Run twice by the install script: with VZA_INSTALL_STEP "before", ahead of
# every file, it notes which folders on the way to each destination
# (VZA_INSTALL_DESTINATIONS, relative to the prefix) are missing; with
# "after" it writes those that now exist to VZA_INSTALL_FOLDERS_LIST, named
# like CMake's manifest (install_folders.txt, or install_folders_<component>.txt
# for one component). A folder list left by an earlier install of this tree
# that was not uninstalled is kept: installing twice must not make the
# folders the first install made look as if they had been there before.
# Paths are written as the manifest writes them, without DESTDIR. The prefix
# itself is never listed.
if(VZA_INSTALL_STEP STREQUAL "before")
  set(VZA_MISSING_FOLDERS "")
  foreach(destination IN LISTS VZA_INSTALL_DESTINATIONS)
    set(path "${CMAKE_INSTALL_PREFIX}")
    string(REPLACE "/" ";" steps "${destination}")
    foreach(step IN LISTS steps)
      string(APPEND path "/${step}")
      if(NOT EXISTS "$ENV{DESTDIR}${path}" AND NOT IS_SYMLINK "$ENV{DESTDIR}${path}")
        list(APPEND VZA_MISSING_FOLDERS "${path}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES VZA_MISSING_FOLDERS)
  return()
endif()

if(CMAKE_INSTALL_COMPONENT)
  set(list_file "${VZA_INSTALL_FOLDERS_LIST}_${CMAKE_INSTALL_COMPONENT}.txt")
else()
  set(list_file "${VZA_INSTALL_FOLDERS_LIST}.txt")
endif()
set(created "")
if(EXISTS "${list_file}")
  file(STRINGS "${list_file}" earlier)
  foreach(folder IN LISTS earlier)
    # Only those under this install's prefix: CPack stages elsewhere.
    string(FIND "${folder}/" "${CMAKE_INSTALL_PREFIX}/" at)
    if(at EQUAL 0 AND IS_DIRECTORY "$ENV{DESTDIR}${folder}")
      list(APPEND created "${folder}")
    endif()
  endforeach()
endif()
foreach(folder IN LISTS VZA_MISSING_FOLDERS)
  if(IS_DIRECTORY "$ENV{DESTDIR}${folder}" AND NOT IS_SYMLINK "$ENV{DESTDIR}${folder}")
    list(APPEND created "${folder}")
  endif()
endforeach()
list(REMOVE_DUPLICATES created)
list(SORT created)
list(JOIN created "\n" lines)
file(WRITE "${list_file}" "${lines}\n")
