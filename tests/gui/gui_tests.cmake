# SPDX-License-Identifier: MIT
# Tests of the desktop program vza-extract: QtTest binaries that drive the
# real window and its dialogs off screen, one per group of commands.
find_package(Qt6 REQUIRED COMPONENTS Test Widgets)

add_library(vza_gui_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/gui/gui_test_support.cpp)
set_target_properties(vza_gui_test_support PROPERTIES AUTOMOC ON)
target_include_directories(vza_gui_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/gui)
target_link_libraries(vza_gui_test_support PUBLIC vza_gui vza_testkit_qt Qt6::Test)

foreach(name tst_gui_window tst_gui_read tst_gui_edit tst_gui_extract tst_gui_extract_run tst_gui_extract_progress tst_gui_extract_here
             tst_gui_desktop tst_gui_destination tst_gui_view)
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/gui/${name}.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE vza_gui_test_support)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 120)
endforeach()

# Started without any display, the program says how to run it and exits 1.
add_test(NAME gui_no_display
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:vza-extract>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/gui/no_display.cmake)

# --help and --version answer without any display.
add_test(NAME gui_help_version
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:vza-extract> -DVERSION=${PROJECT_VERSION}
          -P ${CMAKE_CURRENT_SOURCE_DIR}/gui/help_version.cmake)

# Every text of the window has its English translation: lrelease reports no
# unfinished one.
add_test(NAME gui_translations_finished
  COMMAND ${CMAKE_COMMAND} -DLRELEASE=${VZA_LRELEASE} -DTS=${PROJECT_SOURCE_DIR}/gui/translations/vza-extract_en.ts
          -P ${CMAKE_CURRENT_SOURCE_DIR}/gui/translations_finished.cmake)
