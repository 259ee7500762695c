# SPDX-License-Identifier: MIT
# The settings of the build that the .deb packages come from, given to cmake
# as an initial cache (`make package` does this):
#   cmake -C cmake/PackageCache.cmake -S . -B build-package -G Ninja
#
# Installed under /usr, GNUInstallDirs puts the libraries, the CMake package
# and the pkg-config file in the multiarch folder (lib/x86_64-linux-gnu on
# amd64), where cross builds look for them; it does so only for this prefix.
# Debian's hardening flags are added (cmake/BuildFlags.cmake). Warnings stay
# warnings: a newer compiler must not fail a package build over a new one.
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "")
set(VZA_DEB_BUILDFLAGS ON CACHE BOOL "")
set(VZA_WERROR OFF CACHE BOOL "")
set(BUILD_TESTING OFF CACHE BOOL "")
