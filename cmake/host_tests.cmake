# The host build: the program's logic over the simulated Windows, with its
# GoogleTest tests, and checks of the Windows executables built beside it.

find_package(GTest REQUIRED)
enable_testing()

# Where scripts/build puts the Windows builds (build/i686, build/x86_64).
set(ORV_BUILD_ROOT "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "Folder holding the i686 and x86_64 builds")
set(ORV_I686_EXE "${ORV_BUILD_ROOT}/i686/orvuninstall.exe")
set(ORV_X86_64_EXE "${ORV_BUILD_ROOT}/x86_64/orvuninstall.exe")
find_program(DEBIAN_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)

# The logic handles fixed-size buffers by hand: every host run checks it
# with AddressSanitizer and UndefinedBehaviorSanitizer.
set(HOST_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_compile_options(${HOST_SANITIZERS})
add_link_options(${HOST_SANITIZERS})

add_library(orvuninstall_host STATIC
  ${PROGRAM_SOURCES}
  src/platform/simulated/simulated_windows.cpp)
target_include_directories(orvuninstall_host PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_compile_options(orvuninstall_host PRIVATE -Wall -Wextra)

add_executable(host_tests
  tests/host/simulated_machine_fixture.cpp
  tests/host/uninstall_sequence_test.cpp
  tests/host/file_removal_test.cpp
  tests/host/wininit_entries_test.cpp
  tests/host/registry_cleanup_test.cpp
  tests/host/simulated_windows_test.cpp)
target_include_directories(host_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/host)
target_link_libraries(host_tests PRIVATE orvuninstall_host GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(host_tests)

# Properties over random machines, failing calls and the fuzzer's checks;
# the machine builder and the checks are shared with tests/fuzz/.
add_executable(property_tests
  tests/properties/machine_generator.cpp
  tests/properties/run_checks.cpp
  tests/properties/uninstall_properties_test.cpp)
target_link_libraries(property_tests PRIVATE orvuninstall_host
                      GTest::gtest_main)
gtest_discover_tests(property_tests DISCOVERY_TIMEOUT 30)

# What the Windows 95 family's loader needs of the release executable, and
# every function it imports on an allow-list.
add_test(NAME release_executable_win95_loadable
  COMMAND ${DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/check_win95_loadable.py
          ${ORV_I686_EXE})

add_test(NAME release_executable_pe_header
  COMMAND ${DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/check_release_executable.py
          ${ORV_I686_EXE})

# The icon and version record, read back out of both Windows builds; the
# release build's icon must also be the one drawn in res/ and shown in docs/.
add_test(NAME resources_i686
  COMMAND ${DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/check_resources.py
          ${ORV_I686_EXE} --grids ${PROJECT_SOURCE_DIR}/res
          --previews ${PROJECT_SOURCE_DIR}/docs)
add_test(NAME resources_x86_64
  COMMAND ${DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/pe/check_resources.py
          ${ORV_X86_64_EXE})
add_test(NAME release_executable_reproducible
  COMMAND ${DEBIAN_PYTHON}
          ${PROJECT_SOURCE_DIR}/tests/pe/check_reproducible_build.py
          ${PROJECT_SOURCE_DIR} ${CMAKE_COMMAND})

# The x86_64 build run under Wine, as the NT family and in Windows 98 mode,
# with stand-ins for the resident component and the user (tests/wine).
add_test(NAME wine_end_to_end
  COMMAND ${DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/wine/run_e2e.py
          --exe ${ORV_X86_64_EXE} --tools ${ORV_BUILD_ROOT}/wine-tools
          --work ${ORV_BUILD_ROOT}/wine-e2e)
set_tests_properties(wine_end_to_end PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)

# The whole run fuzzed for a minute (libFuzzer with ASan and UBSan, built
# with clang into build/fuzz); any finding fails it.
add_test(NAME fuzz_whole_run_60s COMMAND ${PROJECT_SOURCE_DIR}/scripts/fuzz 60)
set_tests_properties(fuzz_whole_run_60s PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
