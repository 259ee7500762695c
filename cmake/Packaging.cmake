# SPDX-License-Identifier: MIT
# `make package` (cpack): two Debian packages from the install components.
#   vza-extract  the programs, manual pages, desktop entry, MIME type, icon
#                and completion (Depends from dpkg-shlibdeps)
#   libvza-dev   the static libraries, headers, CMake package and .pc file
# The version is project()'s. No maintainer scripts: dpkg's triggers (from
# shared-mime-info, desktop-file-utils and the icon theme) refresh the caches
# when files land in their folders.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VZA_PROGRAMS_PACKAGE})
set(CPACK_PACKAGE_VENDOR "The VZ Archive Extract developers")
set(CPACK_PACKAGE_CONTACT "${VZA_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Stage through DESTDIR, so the install step knows the tree is not live and
# leaves the system caches alone (cmake/RefreshCaches.cmake).
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programs development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VZA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME ${VZA_PROGRAMS_PACKAGE})
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SHLIBDEPS ON)
# Qt only recommends its platform plugins, yet without them the window
# cannot open on X11 or Wayland; Qt's own dialog texts in Japanese come from
# the translations package, and the texts need a font with Japanese.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-droid-fallback")
set(CPACK_COMPONENT_PROGRAMS_DESCRIPTION
"fast, safe reader and writer of .vza archives
vza-extract is a Qt desktop program that lists a .vza archive and extracts
the entries you choose, under output names you can change; vza is the
command-line tool that lists, tests, extracts and creates archives,
compressed with zlib and optionally encrypted with a password.

Every entry is checked before its file appears, names are kept inside the
output folder, and no half-written file is ever left behind.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${VZA_DEVELOPMENT_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The programs' libisal2 comes from shlibdeps; a static link of the library
# needs the development files.
if(VZA_WITH_ISAL)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "zlib1g-dev, libisal-dev")
else()
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "zlib1g-dev")
endif()
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
"static C++20 library for .vza archives
The library that vza and vza-extract are built on: open, list, check and
extract entries of .vza archives, and write new ones. Static libraries,
headers under /usr/include/vza, a CMake package (find_package(vza) gives
vza::archive) and a pkg-config file (vza).")

include(CPack)
