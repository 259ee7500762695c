# SPDX-License-Identifier: MIT
# What `cmake --install` (and `make install`) puts where.
#
# Three components, one .deb package each (cmake/Packaging.cmake):
#   cli          vza, its manual page and completion, the MIME type and its
#                icon: no Qt
#   desktop      vza-extract, its manual page, desktop entry, icon,
#                AppStream metainfo and the file managers' "Extract Here"
#   development  the static libraries, the public headers under include/vza/,
#                a CMake package and a pkg-config file
# All three are installed by default.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VZA_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(VZA_INSTALL_DESTINATIONS "")

# vza_install(<component> <destination> <install() arguments>...): install()
# with DESTINATION and COMPONENT, noting the destination, so that the install
# can record the folders it creates for `make uninstall` (InstallFolders.cmake).
function(vza_install component destination)
  install(${ARGN} DESTINATION ${destination} COMPONENT ${component})
  set(destinations ${VZA_INSTALL_DESTINATIONS} ${destination})
  list(REMOVE_DUPLICATES destinations)
  set(VZA_INSTALL_DESTINATIONS ${destinations} PARENT_SCOPE)
endfunction()

# First of all, the install notes which of the folders it may write into are
# missing (the destinations are known only at the end of this file).
set(VZA_INSTALL_FOLDERS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/InstallFolders.cmake)
set(VZA_INSTALL_DESTINATIONS_FILE ${PROJECT_BINARY_DIR}/install_destinations.cmake)
install(CODE "set(VZA_INSTALL_STEP before)
  include(\"${VZA_INSTALL_DESTINATIONS_FILE}\")
  include(\"${VZA_INSTALL_FOLDERS_SCRIPT}\")" ALL_COMPONENTS)

# --- cli ------------------------------------------------------------------
vza_install(cli ${CMAKE_INSTALL_BINDIR} TARGETS vza RUNTIME)
vza_install(cli ${CMAKE_INSTALL_DATADIR}/bash-completion/completions FILES ${PROJECT_BINARY_DIR}/vza.bash RENAME vza)
# The MIME type is known to the system even without the desktop program, so
# that file managers and `gio info` name .vza files whatever reads them.
vza_install(cli ${CMAKE_INSTALL_DATADIR}/mime/packages FILES ${VZA_DATA_DIR}/vza.xml)
vza_install(cli ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes
            FILES ${VZA_DATA_DIR}/vza-extract.svg RENAME application-x-vza.svg)

# --- desktop --------------------------------------------------------------
if(TARGET vza-extract)
  vza_install(desktop ${CMAKE_INSTALL_BINDIR} TARGETS vza-extract RUNTIME)
  vza_install(desktop ${CMAKE_INSTALL_DATADIR}/applications FILES ${VZA_DATA_DIR}/vza-extract.desktop)
  vza_install(desktop ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps FILES ${VZA_DATA_DIR}/vza-extract.svg)
  # "Extract Here" in the file managers' menus for .vza files: Dolphin's
  # service menu and Nemo's action, both running vza-extract --extract-here.
  vza_install(desktop ${CMAKE_INSTALL_DATADIR}/kio/servicemenus
              FILES ${VZA_DATA_DIR}/vza-extract-here.desktop RENAME vza-extract.desktop)
  vza_install(desktop ${CMAKE_INSTALL_DATADIR}/nemo/actions FILES ${VZA_DATA_DIR}/vza-extract-here.nemo_action)
endif()

# Manual pages, copyright and changelog of each package.
include(${CMAKE_CURRENT_LIST_DIR}/PackageDocs.cmake)

if(TARGET vza-extract)
  # What software centres show; its release is this version.
  configure_file(${VZA_DATA_DIR}/vza-extract.metainfo.xml.in ${PROJECT_BINARY_DIR}/vza-extract.metainfo.xml @ONLY)
  vza_install(desktop ${CMAKE_INSTALL_DATADIR}/metainfo FILES ${PROJECT_BINARY_DIR}/vza-extract.metainfo.xml)
endif()

# --- development ----------------------------------------------------------
# Installed as include/vza/archive/read/archive.h etc., the spelling the
# library's own "vza/..." includes use, with the generated version.h and vza.h.
foreach(header IN LISTS VZA_PUBLIC_HEADERS VZA_SUPPORT_HEADERS)
  get_filename_component(subdir ${header} DIRECTORY)
  vza_install(development ${CMAKE_INSTALL_INCLUDEDIR}/vza/${subdir} FILES ${PROJECT_SOURCE_DIR}/${header})
endforeach()
vza_install(development ${CMAKE_INSTALL_INCLUDEDIR}/vza
            FILES ${VZA_GENERATED_INCLUDE_DIR}/vza/version.h ${VZA_GENERATED_INCLUDE_DIR}/vza/vza.h)

# Every library target a static link of vza::archive needs.
set(VZA_LIBRARY_TARGETS vza_codec vza_archive)
foreach(target IN LISTS VZA_LIBRARY_TARGETS)
  string(REPLACE "vza_" "" export_name ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  # The targets name views of the source tree and the generated headers as
  # their include folders; those hold while building only. Installed, the
  # headers are under include/.
  get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  list(TRANSFORM include_dirs REPLACE "^([^$].*)$" "$<BUILD_INTERFACE:\\1>")
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${include_dirs}")
  target_include_directories(${target} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  # The public headers use C++20 (defaulted comparisons); users build with it too.
  target_compile_features(${target} INTERFACE cxx_std_20)
endforeach()
vza_install(development ${CMAKE_INSTALL_LIBDIR} TARGETS ${VZA_LIBRARY_TARGETS} EXPORT vzaTargets ARCHIVE)

set(VZA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vza)
vza_install(development ${VZA_CMAKE_DIR} EXPORT vzaTargets NAMESPACE vza::)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vzaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vzaConfig.cmake INSTALL_DESTINATION ${VZA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vzaConfigVersion.cmake COMPATIBILITY SameMajorVersion)
vza_install(development ${VZA_CMAKE_DIR}
            FILES ${PROJECT_BINARY_DIR}/vzaConfig.cmake ${PROJECT_BINARY_DIR}/vzaConfigVersion.cmake)

# pkg-config: the prefix is found from the .pc file's own place, so a tree
# installed with --prefix or DESTDIR elsewhere still points at itself.
file(RELATIVE_PATH VZA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VZA_PC_TO_PREFIX "${VZA_PC_TO_PREFIX}")
# archive first: the static linker resolves its calls into codec after it.
set(VZA_PC_LIBS "-lvza_archive -lvza_codec")
if(VZA_WITH_ISAL)
  string(APPEND VZA_PC_LIBS " -lisal")
endif()
if(VZA_WITH_LIBDEFLATE)
  string(APPEND VZA_PC_LIBS " -ldeflate")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/vza.pc.in ${PROJECT_BINARY_DIR}/vza.pc @ONLY)
vza_install(development ${CMAKE_INSTALL_LIBDIR}/pkgconfig FILES ${PROJECT_BINARY_DIR}/vza.pc)

# --- stripping ------------------------------------------------------------
# `cmake --install --strip` (the packages use it) strips the programs;
# besides, as Debian's dh_strip does, the programs lose their .comment and
# .note sections and the static libraries their debugging information and
# .comment sections, which nothing reads at run or link time.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    set(VZA_STRIP_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(VZA_STRIP_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(VZA_STRIP \"${CMAKE_STRIP}\")
    include(\"${CMAKE_CURRENT_LIST_DIR}/StripExtra.cmake\")
  endif()" ALL_COMPONENTS)

# --- system caches, folders and uninstall ---------------------------------
# A plain `make install` (no DESTDIR) refreshes the MIME, desktop and icon
# caches, so a double-click on a .vza file works at once. Packages leave this
# to dpkg's triggers, and a DESTDIR tree is not live.
install(CODE "set(VZA_INSTALL_STEP after)
  set(VZA_INSTALL_FOLDERS_LIST \"${PROJECT_BINARY_DIR}/install_folders\")
  include(\"${VZA_INSTALL_FOLDERS_SCRIPT}\")
  set(DATA_ROOT \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/RefreshCaches.cmake\")" ALL_COMPONENTS)

file(WRITE ${VZA_INSTALL_DESTINATIONS_FILE} "set(VZA_INSTALL_DESTINATIONS \"${VZA_INSTALL_DESTINATIONS}\")\n")

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_CURRENT_LIST_DIR}/Uninstall.cmake
  COMMENT "Removing what the last install put in place (install_manifest.txt)")
