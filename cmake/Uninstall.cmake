# SPDX-License-Identifier: MIT
# `make uninstall`: removes every file listed in MANIFEST (the
# install_manifest.txt of the last `make install`) under DESTDIR, when set,
# then the folders of our own that are left empty, then refreshes the caches.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} not found: nothing was installed from this build folder")
endif()
file(STRINGS "${MANIFEST}" files)
set(folders "")
foreach(listed IN LISTS files)
  if(listed STREQUAL "")
    continue()
  endif()
  set(file "$ENV{DESTDIR}${listed}")
  if(IS_SYMLINK "${file}" OR EXISTS "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
  if(listed MATCHES "^(.*)/mime/packages/vza\\.xml$")
    set(data_root "${CMAKE_MATCH_1}")
  endif()
  # Folders that only this project creates.
  foreach(own include/vza cmake/vza doc/vza-extract doc/libvza-dev)
    if(file MATCHES "^(.*/${own})/")
      list(APPEND folders "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()

list(REMOVE_DUPLICATES folders)
foreach(folder IN LISTS folders)
  # Deepest first, so that a folder emptied by its children goes too.
  file(GLOB_RECURSE subfolders LIST_DIRECTORIES true "${folder}/*")
  list(APPEND subfolders "${folder}")
  list(SORT subfolders ORDER DESCENDING)
  foreach(sub IN LISTS subfolders)
    file(GLOB left "${sub}/*")
    if(IS_DIRECTORY "${sub}" AND NOT IS_SYMLINK "${sub}" AND NOT left)
      file(REMOVE_RECURSE "${sub}")
    endif()
  endforeach()
endforeach()

# RefreshCaches skips a staged tree (DESTDIR set).
if(data_root)
  set(DATA_ROOT "${data_root}")
  include(${CMAKE_CURRENT_LIST_DIR}/RefreshCaches.cmake)
endif()
