# Windows builds (MinGW-w64): korvsetup.exe on the real API.
#
# win32 gives the shipped program (i686, PE32), win64 the same program as
# PE32+ for the Wine tests. Both are GUI programs with a Unicode entry point
# (wWinMain, -municode), linked with the C and C++ runtimes inside, so that
# they import system DLLs only, and built for size (MinSizeRel, unused
# sections dropped, symbols stripped).
file(GLOB KORV_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)

# Options of every program built on the adapters.
function(korv_windows_program target)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  # Windows 7 is the oldest system the program supports; the spooler's
  # level-8 driver records and the driver-package calls need Vista headers.
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601 WINVER=0x0601)
  # The program has no exception handlers and no run-time type checks: an
  # exception can only end the process (platform/win32/terminate.cpp), so the
  # unwind tables and type information are left out.
  target_compile_options(${target} PRIVATE ${KORV_WARNINGS} -municode -ffunction-sections
    -fdata-sections -fno-exceptions -fno-rtti)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
  endif()
  # Static runtime: the program imports only system DLLs. ASLR and DEP are
  # asked for explicitly (the program runs elevated); no timestamp, so that
  # the same sources give the same file.
  target_link_options(${target} PRIVATE -municode -static -static-libgcc -static-libstdc++
    -Wl,--gc-sections -s -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
  endif()
  # Only the system's known DLLs are imported: they are always loaded from
  # the system folder. The spooler (winspool.drv), the configuration manager
  # (cfgmgr32.dll), the new-device library (newdev.dll) and the common
  # controls (comctl32.dll) are not known DLLs; a static import would look
  # for them in the program's own folder first, so the adapters load them
  # from the system folder at run time (platform/win32/adapt.h).
  # tests/windows/check_executables.sh holds the program to this.
  target_link_libraries(${target} PRIVATE setupapi shell32 user32 gdi32 advapi32 kernel32)
endfunction()

add_executable(korvsetup WIN32 ${CMAKE_SOURCE_DIR}/app/winmain.cpp ${KORV_CORE_SOURCES} ${KORV_WIN32_SOURCES})
korv_windows_program(korvsetup)
set_target_properties(korvsetup PROPERTIES OUTPUT_NAME korvsetup)
if(COMMAND korv_add_windows_resources)
  korv_add_windows_resources(korvsetup)
endif()

# The adapters alone against the real API (Windows, or Wine here): a console
# program run by tests/windows/run_adapter_test.sh.
add_executable(korv_adapter_test ${CMAKE_SOURCE_DIR}/tests/windows/adapter_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/windows/adapter_test_win.cpp ${KORV_WIN32_SOURCES})
korv_windows_program(korv_adapter_test)

# korvsnap.exe, the machine capture for korvsim, beside the program.
add_subdirectory(tools/korvsnap)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/tools/CMakeLists.txt)
  add_subdirectory(tests/wine/tools)
endif()
