# SPDX-License-Identifier: MIT
# Headers are included as "vza/<folder>/<file>.h", the spelling they are
# installed under (include/vza/...). A target sees the folders it may use
# through a view: a folder in the build tree whose vza/ holds links to just
# those source folders, so an include of anything else fails to compile.
#
#   vza_include_view(<view folder> <source folder>...)
# makes <view folder>/vza/<source folder> a link to the source folder, for
# each one given (paths relative to the project root, such as codec or
# archive/read).
set(VZA_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. CACHE INTERNAL "")
get_filename_component(VZA_SOURCE_ROOT ${VZA_SOURCE_ROOT} ABSOLUTE)

function(vza_include_view view)
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${view}/vza/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${VZA_SOURCE_ROOT}/${folder} ${view}/vza/${folder} SYMBOLIC)
  endforeach()
endfunction()
