# SPDX-License-Identifier: MIT
# `make package` (cpack): one Debian package per install component.
#   vza          the command-line tool, its manual page and completion, the
#                MIME type: no Qt (Depends from dpkg-shlibdeps)
#   vza-extract  the desktop program; depends on vza for the MIME type
#   libvza-dev   the static libraries, headers, CMake package and .pc file
# The packages are built from a build folder configured for them
# (cmake/PackageCache.cmake: prefix /usr, multiarch, hardening flags); the
# version is project()'s. No maintainer scripts: dpkg's triggers (from
# shared-mime-info, desktop-file-utils and the icon theme) refresh the caches
# when files land in their folders.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vza)
set(CPACK_PACKAGE_VENDOR "The VZ Archive Extract developers")
set(CPACK_PACKAGE_CONTACT "${VZA_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Also runs cmake/StripExtra.cmake.
set(CPACK_STRIP_FILES ON)
# Stage through DESTDIR, so the install step knows the tree is not live and
# leaves the system caches alone (cmake/RefreshCaches.cmake).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli development)
if(TARGET vza-extract)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VZA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE vza)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# A component's DEPENDS become Depends on its package, of this very version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ${VZA_CLI_PACKAGE})
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_CLI_DESCRIPTION
"fast, safe reader and writer of .vza archives
vza lists, tests, extracts and creates .vza archives, whose entries may be
compressed with zlib and encrypted with a password. It reads an archive from
a pipe as well as from a file, and extracts on several threads.

Every entry is checked before its file appears, names are kept inside the
output folder, and no half-written file is ever left behind.

This package holds the command-line tool alone; the desktop program is in
vza-extract.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME ${VZA_DESKTOP_PACKAGE})
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SHLIBDEPS ON)
set(CPACK_COMPONENT_DESKTOP_DEPENDS cli)
# Qt only recommends its platform plugins, yet without them the window
# cannot open on X11 or Wayland; Qt's own dialog texts in Japanese come from
# the translations package, and the texts need a font with Japanese.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-droid-fallback")
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
"desktop program to extract .vza archives
vza-extract is a Qt desktop program that lists a .vza archive and extracts
the entries you choose, under output names you can change. Its texts are in
Japanese.

Every entry is checked before its file appears, names are kept inside the
output folder, and no half-written file is ever left behind.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${VZA_DEVELOPMENT_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The programs' libisal2 and libdeflate0 come from shlibdeps; a static link
# of the library needs the development files.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "zlib1g-dev")
if(VZA_WITH_ISAL)
  string(APPEND CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ", libisal-dev")
endif()
if(VZA_WITH_LIBDEFLATE)
  string(APPEND CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS ", libdeflate-dev")
endif()
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
"static C++20 library for .vza archives
The library that vza and vza-extract are built on: open, list, check and
extract the entries of .vza archives, and write new ones. Static,
position-independent libraries, headers under /usr/include/vza (all of them
through <vza/vza.h>), a CMake package (find_package(vza) gives vza::archive)
and a pkg-config file (vza).")

include(CPack)
