# The Windows executable: no C or C++ runtime, its own entry point, imports
# from kernel32, user32 and advapi32 only, loadable on the 95 family and NT 4.

add_executable(orvuninstall WIN32 ${PROGRAM_SOURCES} src/platform/win32/startup.cpp)
target_include_directories(orvuninstall PRIVATE ${PROJECT_SOURCE_DIR}/src)
set_target_properties(orvuninstall PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  OUTPUT_NAME orvuninstall)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(ENTRY_SYMBOL _WinMainCRTStartup)
  # Windows guarantees only 4-byte stack alignment on x86, and pushing call
  # arguments is smaller than reserving room for them in every frame.
  target_compile_options(orvuninstall PRIVATE
    -mpreferred-stack-boundary=2 -fomit-frame-pointer
    -mno-accumulate-outgoing-args)
else()
  set(ENTRY_SYMBOL WinMainCRTStartup)
endif()

target_compile_options(orvuninstall PRIVATE
  -Os -Wall -Wextra
  -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables
  -fno-stack-protector -fno-ident
  # Every frame stays below one page, so the guard page is always touched in
  # order and no stack probe (and no libgcc) is needed; a larger frame is an
  # error rather than a silent crash on a deep stack.
  -mno-stack-arg-probe -Werror=frame-larger-than=4000
  -ffunction-sections -fdata-sections
  # No C library to call: keep the compiler from turning our own loops into
  # calls to strlen or memset.
  -ffreestanding -fno-tree-loop-distribute-patterns
  # Build paths stay out of the binary.
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)

target_link_options(orvuninstall PRIVATE
  -nostdlib -s
  -Wl,--entry,${ENTRY_SYMBOL}
  -Wl,--gc-sections
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
  -Wl,--no-insert-timestamp
  -Wl,--disable-dynamicbase
  -Wl,--disable-reloc-section
  -Wl,--file-alignment,512 -Wl,--section-alignment,4096)

target_link_libraries(orvuninstall PRIVATE kernel32 user32 advapi32)

# The icon and version record. The .ico is made from the pixel grids in res/
# at build time, so the grids stay the only source of the icon. The resource
# script is compiled in a library of its own because windres would reject the
# code's compiler options.
enable_language(RC)
find_program(ORV_PYTHON3 NAMES python3 HINTS /usr/bin REQUIRED)
set(ORV_ICON ${CMAKE_CURRENT_BINARY_DIR}/res/orvuninstall.ico)
add_custom_command(OUTPUT ${ORV_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/res
  COMMAND ${ORV_PYTHON3} ${PROJECT_SOURCE_DIR}/res/make_icon.py
          --ico ${ORV_ICON}
  DEPENDS res/make_icon.py res/icon-32x32.txt res/icon-16x16.txt
  VERBATIM)
add_library(orvuninstall_resources OBJECT res/orvuninstall.rc ${ORV_ICON})
set_source_files_properties(res/orvuninstall.rc PROPERTIES
  OBJECT_DEPENDS ${ORV_ICON}
  INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR}/res)
target_link_libraries(orvuninstall PRIVATE orvuninstall_resources)
