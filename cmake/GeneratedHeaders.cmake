# SPDX-License-Identifier: MIT
# Headers made at configure time, in the build tree's include/vza/ and
# installed beside the others: <vza/version.h> (the version macros and
# vza::version(), which the library defines) and the umbrella <vza/vza.h>
# (every header of cmake/PublicHeaders.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/PublicHeaders.cmake)

set(VZA_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${VZA_GENERATED_INCLUDE_DIR}/vza/version.h @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.cpp.in ${PROJECT_BINARY_DIR}/version/version.cpp @ONLY)

set(VZA_UMBRELLA_INCLUDES "")
foreach(header IN LISTS VZA_PUBLIC_HEADERS)
  string(APPEND VZA_UMBRELLA_INCLUDES "#include <vza/${header}>\n")
endforeach()
string(STRIP "${VZA_UMBRELLA_INCLUDES}" VZA_UMBRELLA_INCLUDES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vza.h.in ${VZA_GENERATED_INCLUDE_DIR}/vza/vza.h @ONLY)

target_sources(vza_archive PRIVATE ${PROJECT_BINARY_DIR}/version/version.cpp)
target_include_directories(vza_archive PUBLIC $<BUILD_INTERFACE:${VZA_GENERATED_INCLUDE_DIR}>)
