# SPDX-License-Identifier: MIT
# Tests of the vza command-line tool: they run the real binary on archives
# they build with the library.
if(TARGET vza)
  add_executable(cli_test
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_names_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_options_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_stream_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_edit_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_harness.cpp)
  target_include_directories(cli_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(cli_test PRIVATE vza_testkit GTest::gtest GTest::gtest_main)
  target_compile_definitions(cli_test PRIVATE VZA_BINARY="$<TARGET_FILE:vza>")
  add_dependencies(cli_test vza)
  gtest_discover_tests(cli_test DISCOVERY_TIMEOUT 60)
endif()

# The CLI's own pieces that can be tested without the binary.
if(TARGET vza)
  add_executable(cli_unit_test
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_unit_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/cli/cli_signal_test.cpp
    ${PROJECT_SOURCE_DIR}/cli/process_setup.cpp
    ${PROJECT_SOURCE_DIR}/cli/progress.cpp
    ${PROJECT_SOURCE_DIR}/cli/display_name.cpp)
  target_include_directories(cli_unit_test PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(cli_unit_test PRIVATE vza_testkit GTest::gtest GTest::gtest_main)
  gtest_discover_tests(cli_unit_test DISCOVERY_TIMEOUT 60)
endif()

# The man page, --help and the bash completion against the command table.
if(TARGET vza-command-surface)
  add_test(NAME cli_command_surface
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/command_surface.sh $<TARGET_FILE:vza-command-surface>
            $<TARGET_FILE:vza> ${PROJECT_SOURCE_DIR}/man/vza.1 ${PROJECT_BINARY_DIR}/vza.bash
            ${CMAKE_CURRENT_BINARY_DIR}/command-surface)
endif()
