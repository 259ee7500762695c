# SPDX-License-Identifier: MIT
# What `cmake --install` (and `make install`) puts where.
#
# Two components: "programs" (vza, vza-extract, their manual pages, the
# desktop entry, MIME type, icon and bash completion) and "development" (the
# static libraries, the public headers under include/vza/, a CMake package and
# a pkg-config file). Both are installed by default; the .deb packages take
# one each (cmake/Packaging.cmake).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VZA_DATA_DIR ${PROJECT_SOURCE_DIR}/data)

# --- programs -------------------------------------------------------------
install(TARGETS vza RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(FILES ${VZA_DATA_DIR}/vza.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vza COMPONENT programs)
# The MIME type is known to the system even without the desktop program, so
# that file managers and `gio info` name .vza files whatever reads them.
install(FILES ${VZA_DATA_DIR}/vza.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT programs)
install(FILES ${VZA_DATA_DIR}/vza-extract.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
        RENAME application-x-vza.svg COMPONENT programs)
# Manual pages, copyright and changelog.
include(${CMAKE_CURRENT_LIST_DIR}/PackageDocs.cmake)

if(TARGET vza-extract)
  install(TARGETS vza-extract RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  install(FILES ${VZA_DATA_DIR}/vza-extract.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT programs)
  install(FILES ${VZA_DATA_DIR}/vza-extract.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT programs)
endif()

# --- the library ----------------------------------------------------------
# The public API is what the programs use: these headers and what they
# include, transitively. The others (entry decoding, inflate stream, cipher
# internals) stay private.
set(VZA_PUBLIC_HEADER_ROOTS
  archive/read/archive.h archive/read/entry_reader.h archive/read/sequential_archive.h archive/write/archive_writer.h
  archive/fs/output_file.h archive/write/archive_output.h archive/write/input_tree.h archive/extract/extractor.h
  archive/names/safe_name.h archive/names/display_text.h codec/blowfish.h)

# Collects the project headers that the roots include ("vza/dir/name.h" form),
# as paths in the source tree.
function(vza_header_closure out)
  set(pending ${ARGN})
  set(seen "")
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${header})
    file(STRINGS ${PROJECT_SOURCE_DIR}/${header} lines REGEX "^#include \"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"vza/([^\"]+)\".*" "\\1" included "${line}")
      if(EXISTS ${PROJECT_SOURCE_DIR}/${included})
        list(APPEND pending ${included})
      endif()
    endforeach()
  endwhile()
  list(SORT seen)
  set(${out} ${seen} PARENT_SCOPE)
endfunction()
vza_header_closure(VZA_PUBLIC_HEADERS ${VZA_PUBLIC_HEADER_ROOTS})
# Re-run the closure when a public header changes its includes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VZA_PUBLIC_HEADERS})

# Installed as include/vza/archive/read/archive.h etc., the spelling the
# library's own "vza/..." includes use.
set(VZA_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
foreach(header IN LISTS VZA_PUBLIC_HEADERS)
  get_filename_component(subdir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${VZA_INSTALL_INCLUDEDIR}/vza/${subdir}
          COMPONENT development)
endforeach()

# Every library target a static link of vza::archive needs.
set(VZA_LIBRARY_TARGETS "")
foreach(target vza_codec vza_archive)
  if(TARGET ${target})
    list(APPEND VZA_LIBRARY_TARGETS ${target})
    string(REPLACE "vza_" "" export_name ${target})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
    # The targets name a view of the source tree as their include folder;
    # that holds while building only. Installed, the headers are under include/vza.
    get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    list(TRANSFORM include_dirs REPLACE "^([^$].*)$" "$<BUILD_INTERFACE:\\1>")
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${include_dirs}")
    target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${VZA_INSTALL_INCLUDEDIR}>)
    # The public headers use C++20 (defaulted comparisons); users build with it too.
    target_compile_features(${target} INTERFACE cxx_std_20)
  endif()
endforeach()
install(TARGETS ${VZA_LIBRARY_TARGETS} EXPORT vzaTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)

set(VZA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vza)
install(EXPORT vzaTargets NAMESPACE vza:: DESTINATION ${VZA_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vzaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vzaConfig.cmake INSTALL_DESTINATION ${VZA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vzaConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vzaConfig.cmake ${PROJECT_BINARY_DIR}/vzaConfigVersion.cmake
        DESTINATION ${VZA_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so a tree
# installed with --prefix or DESTDIR elsewhere still points at itself.
file(RELATIVE_PATH VZA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VZA_PC_TO_PREFIX "${VZA_PC_TO_PREFIX}")
set(VZA_PC_LIBS "")
foreach(target IN LISTS VZA_LIBRARY_TARGETS)
  # archive first: the static linker resolves its calls into codec after it
  list(PREPEND VZA_PC_LIBS -l${target})
endforeach()
if(VZA_WITH_ISAL)
  list(APPEND VZA_PC_LIBS -lisal)
endif()
list(JOIN VZA_PC_LIBS " " VZA_PC_LIBS)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vza.pc.in ${PROJECT_BINARY_DIR}/vza.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vza.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# --- system caches and uninstall -----------------------------------------
# A plain `make install` (no DESTDIR) refreshes the MIME, desktop and icon
# caches, so a double-click on a .vza file works at once. Packages leave this
# to dpkg's triggers, and a DESTDIR tree is not live.
install(CODE "set(VZA_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  include(${CMAKE_CURRENT_LIST_DIR}/RefreshCaches.cmake)" COMPONENT programs)

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
  COMMENT "Removing the files listed in install_manifest.txt")
