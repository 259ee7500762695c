# SPDX-License-Identifier: MIT
# `make uninstall`: undoes the last install from this build folder, under
# DESTDIR when set.
#   cmake -DMANIFEST=<install_manifest.txt> [-DFOLDERS=<folder list>] -P Uninstall.cmake
# (each may also be a ;-list: the manifests of several component installs).
#
# 1. Every file in MANIFEST (the install's own list of what it wrote) goes.
# 2. The MIME, desktop and icon caches are rebuilt, or removed when ours were
#    their last entries (RefreshCaches.cmake; not for a DESTDIR tree).
# 3. The folders the install created (FOLDERS, by default the install_folders
#    list beside MANIFEST, InstallFolders.cmake) go when they are empty,
#    deepest first. A folder that was there before the install stays, empty
#    or not, and so does the prefix; so does one holding something else.
set(files "")
foreach(manifest IN LISTS MANIFEST)
  if(NOT EXISTS "${manifest}")
    message(FATAL_ERROR "${manifest} not found: nothing was installed from this build folder")
  endif()
  file(STRINGS "${manifest}" listed)
  list(APPEND files ${listed})
endforeach()
if(NOT DEFINED FOLDERS)
  string(REPLACE "install_manifest" "install_folders" FOLDERS "${MANIFEST}")
endif()

set(data_root "")
foreach(listed IN LISTS files)
  if(listed STREQUAL "")
    continue()
  endif()
  set(file "$ENV{DESTDIR}${listed}")
  if(IS_SYMLINK "${file}" OR (EXISTS "${file}" AND NOT IS_DIRECTORY "${file}"))
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  # Any of the files in the cached folders tells where share/ is.
  if(listed MATCHES "^(.*)/(mime/packages|applications|icons/hicolor)/")
    set(data_root "${CMAKE_MATCH_1}")
  endif()
endforeach()

if(data_root)
  set(DATA_ROOT "${data_root}")
  set(VZA_CACHES uninstall)
  include(${CMAKE_CURRENT_LIST_DIR}/RefreshCaches.cmake)
endif()

set(folders "")
foreach(list_file IN LISTS FOLDERS)
  if(EXISTS "${list_file}")
    file(STRINGS "${list_file}" listed)
    list(APPEND folders ${listed})
  endif()
endforeach()
list(REMOVE_DUPLICATES folders)
# Reverse order puts each folder after everything inside it.
list(SORT folders)
list(REVERSE folders)
# rmdir removes a folder only while it is empty, in one step: a file put in
# it meanwhile is never removed with it.
find_program(rmdir rmdir REQUIRED NO_CACHE)
foreach(folder IN LISTS folders)
  set(path "$ENV{DESTDIR}${folder}")
  if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
    execute_process(COMMAND ${rmdir} -- "${path}" RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(result EQUAL 0)
      message(STATUS "Removing ${path}/")
    endif()
  endif()
endforeach()
foreach(list_file IN LISTS FOLDERS)
  file(REMOVE "${list_file}")
endforeach()
