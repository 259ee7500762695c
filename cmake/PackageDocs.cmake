# SPDX-License-Identifier: MIT
# Documentation in the shape Debian gives it, kept by a plain install too:
# manual pages compressed with `gzip -9n` (no name or time stored, so two
# builds give the same bytes), and in share/doc/<package>/ a machine-readable
# copyright file that carries the licence, and a compressed changelog.
set(VZA_CLI_PACKAGE vza)
set(VZA_DESKTOP_PACKAGE vza-extract)
set(VZA_DEVELOPMENT_PACKAGE libvza-dev)

# The Maintainer field of the packages and their changelog: taken, as dch
# takes it, from DEBEMAIL ("Name <address>", or the address with the name in
# DEBFULLNAME), else EMAIL and NAME, when the build folder is configured
# first; a cache variable, so it can be set outright.
set(maintainer_name "$ENV{DEBFULLNAME}")
set(maintainer_mail "$ENV{DEBEMAIL}")
if(maintainer_mail STREQUAL "")
  set(maintainer_mail "$ENV{EMAIL}")
endif()
if(maintainer_name STREQUAL "")
  set(maintainer_name "$ENV{NAME}")
endif()
if(maintainer_mail MATCHES "<.+@.+>")
  set(maintainer "${maintainer_mail}")
elseif(maintainer_mail MATCHES "@" AND NOT maintainer_name STREQUAL "")
  set(maintainer "${maintainer_name} <${maintainer_mail}>")
else()
  set(maintainer "The VZ Archive Extract developers <vza-extract@example.invalid>")
endif()
set(VZA_MAINTAINER "${maintainer}"
    CACHE STRING "Maintainer of the Debian packages: \"Name <address>\" (default from DEBFULLNAME/DEBEMAIL)")
if(NOT VZA_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
  message(FATAL_ERROR "VZA_MAINTAINER must read \"Name <address>\", not \"${VZA_MAINTAINER}\"")
endif()
# The day this version was made, for the changelog and the AppStream
# metainfo; moves with the version in project().
set(VZA_RELEASE_DAY 2026-12-10)
set(VZA_RELEASE_DATE "Thu, 10 Dec 2026 12:00:00 +0000")

find_program(VZA_GZIP gzip REQUIRED)
set(VZA_DOC_BUILD ${PROJECT_BINARY_DIR}/doc)
set(VZA_DOC_OUTPUTS "")

# vza_gzip(SOURCE NAME): NAME.gz in the build's doc folder, made at build time
# (SOURCE must lie outside that folder: gzip replaces the copy it compresses).
function(vza_gzip source name)
  set(plain ${VZA_DOC_BUILD}/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${VZA_GZIP} -9nf ${plain}
    DEPENDS ${source} VERBATIM)
  set(VZA_DOC_OUTPUTS ${VZA_DOC_OUTPUTS} ${plain}.gz PARENT_SCOPE)
endfunction()

# copyright (DEP-5): the licence text from LICENSE, one space in, "." for a
# blank line; the holder from its "Copyright (c) ..." line.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence_lines)
set(holder "")
set(licence_body "")
set(in_body FALSE)
foreach(line IN LISTS licence_lines)
  if(line MATCHES "^Copyright \\(c\\) (.*)$")
    set(holder "${CMAKE_MATCH_1}")
    set(in_body TRUE)
  elseif(in_body)
    if(line STREQUAL "")
      if(NOT licence_body STREQUAL "")
        string(APPEND licence_body " .\n")
      endif()
    else()
      string(APPEND licence_body " ${line}\n")
    endif()
  endif()
endforeach()
if(holder STREQUAL "")
  message(FATAL_ERROR "LICENSE has no \"Copyright (c) ...\" line")
endif()
file(WRITE ${VZA_DOC_BUILD}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: VZ Archive Extract
Upstream-Contact: ${VZA_MAINTAINER}

Files: *
Copyright: ${holder}
License: Expat
${licence_body}")

file(WRITE ${PROJECT_BINARY_DIR}/changelog.debian
"vza (${PROJECT_VERSION}) unstable; urgency=medium

  * Version ${PROJECT_VERSION}.

 -- ${VZA_MAINTAINER}  ${VZA_RELEASE_DATE}
")
vza_gzip(${PROJECT_BINARY_DIR}/changelog.debian changelog)
vza_gzip(${PROJECT_SOURCE_DIR}/man/vza.1 vza.1)
if(TARGET vza-extract)
  vza_gzip(${PROJECT_SOURCE_DIR}/man/vza-extract.1 vza-extract.1)
endif()
add_custom_target(vza_docs ALL DEPENDS ${VZA_DOC_OUTPUTS})

vza_install(cli ${CMAKE_INSTALL_MANDIR}/man1 FILES ${VZA_DOC_BUILD}/vza.1.gz)
if(TARGET vza-extract)
  vza_install(desktop ${CMAKE_INSTALL_MANDIR}/man1 FILES ${VZA_DOC_BUILD}/vza-extract.1.gz)
endif()
set(VZA_DOC_COMPONENTS cli development)
if(TARGET vza-extract)
  list(APPEND VZA_DOC_COMPONENTS desktop)
endif()
foreach(component IN LISTS VZA_DOC_COMPONENTS)
  string(TOUPPER ${component} upper)
  vza_install(${component} ${CMAKE_INSTALL_DATADIR}/doc/${VZA_${upper}_PACKAGE}
              FILES ${VZA_DOC_BUILD}/copyright ${VZA_DOC_BUILD}/changelog.gz)
endforeach()
