# SPDX-License-Identifier: MIT
# Code generation for every target, and Debian's hardening flags for the
# package build.
#
# Position-independent code throughout: the installed static libraries can
# then be linked into a shared object of someone else's (a plugin, a language
# binding), and the programs are position-independent executables. Functions
# of the library stay inlinable within it: no shared object may interpose
# them, so the compiler need not assume one could.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-fno-semantic-interposition)
endif()

# VZA_DEB_BUILDFLAGS (the package build turns it on, cmake/PackageCache.cmake):
# dpkg-buildflags' preprocessor flags (_FORTIFY_SOURCE) and linker flags
# (-z relro -z now, asked for with hardening=+all) go in front of the build
# type's own, so -O3 from CMAKE_CXX_FLAGS_RELEASE still comes last.
option(VZA_DEB_BUILDFLAGS "Add the hardening flags of dpkg-buildflags (Debian packages)" OFF)
if(VZA_DEB_BUILDFLAGS)
  find_program(VZA_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  foreach(kind CPPFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${VZA_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE VZA_DEB_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  message(STATUS "dpkg-buildflags: ${VZA_DEB_CPPFLAGS} ${VZA_DEB_LDFLAGS}")
  string(APPEND CMAKE_CXX_FLAGS " ${VZA_DEB_CPPFLAGS}")
  foreach(kind EXE SHARED MODULE)
    string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${VZA_DEB_LDFLAGS}")
  endforeach()
endif()
