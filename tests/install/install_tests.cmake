# SPDX-License-Identifier: MIT
# Tests of what the project installs and ships: the installed tree, install
# and uninstall in a live prefix, the desktop entry, the AppStream metainfo,
# the MIME type, the manual pages, the bash completion, the library used from
# outside through examples/, and (label "package", slow on its first run: it
# builds the programs once more, as the packages have them) the .deb packages. They check what is shipped, so a
# sanitizer build (whose library needs the sanitizer runtimes to link) skips
# them.
if(VZA_SANITIZE)
  return()
endif()
set(VZA_INSTALL_TESTS ${CMAKE_CURRENT_SOURCE_DIR}/install)
set(VZA_INSTALL_WORK ${CMAKE_CURRENT_BINARY_DIR}/install-tests)
if(TARGET vza-extract)
  set(VZA_HAVE_GUI 1)
  set(VZA_EXTRACT_ENV VZA_EXTRACT=$<TARGET_FILE:vza-extract>)
else()
  set(VZA_HAVE_GUI 0)
  set(VZA_EXTRACT_ENV "")
endif()

add_test(NAME install_tree
  COMMAND ${VZA_INSTALL_TESTS}/install_tree.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
          ${VZA_INSTALL_WORK}/tree ${CMAKE_INSTALL_LIBDIR} ${VZA_HAVE_GUI})
add_test(NAME install_uninstall
  COMMAND ${VZA_INSTALL_TESTS}/uninstall.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
          ${VZA_INSTALL_WORK}/uninstall ${VZA_HAVE_GUI})
add_test(NAME install_licence_lines
  COMMAND ${VZA_INSTALL_TESTS}/licence_lines.sh ${PROJECT_SOURCE_DIR})
add_test(NAME install_doc_links
  COMMAND ${VZA_INSTALL_TESTS}/doc_links.sh ${PROJECT_SOURCE_DIR})
add_test(NAME install_desktop_entry
  COMMAND desktop-file-validate ${PROJECT_SOURCE_DIR}/data/vza-extract.desktop)
if(VZA_HAVE_GUI)
  # The desktop entry's name is the component's id, which AppStream would
  # rather see in reverse-DNS form; the project has no domain to use.
  add_test(NAME install_metainfo
    COMMAND appstreamcli validate --no-net --pedantic --override=cid-desktopapp-is-not-rdns=info
            ${PROJECT_BINARY_DIR}/vza-extract.metainfo.xml)
endif()
add_test(NAME install_mime_type
  COMMAND ${VZA_INSTALL_TESTS}/mime_type.sh $<TARGET_FILE:vza> ${PROJECT_SOURCE_DIR} ${VZA_INSTALL_WORK}/mime)
add_test(NAME install_man_pages
  COMMAND ${CMAKE_COMMAND} -E env ${VZA_EXTRACT_ENV}
          ${VZA_INSTALL_TESTS}/man_pages.sh ${PROJECT_SOURCE_DIR}/man/vza.1 ${PROJECT_SOURCE_DIR}/man/vza-extract.1)
add_test(NAME install_bash_completion
  COMMAND ${VZA_INSTALL_TESTS}/completion.sh ${PROJECT_BINARY_DIR}/vza.bash ${VZA_INSTALL_WORK}/completion)
add_test(NAME install_examples
  COMMAND ${VZA_INSTALL_TESTS}/examples.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
          ${VZA_INSTALL_WORK}/examples $<TARGET_FILE:vza>)
add_test(NAME install_debian_package
  COMMAND ${VZA_INSTALL_TESTS}/debian_package.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
          ${VZA_INSTALL_WORK}/deb ${PROJECT_VERSION} ${VZA_HAVE_GUI})
set_tests_properties(install_debian_package PROPERTIES LABELS package TIMEOUT 3600)
# The install steps write this build tree's manifests; one at a time.
set_tests_properties(install_tree install_uninstall install_examples PROPERTIES
  RESOURCE_LOCK vza_install TIMEOUT 300)
