# Windows builds (MinGW-w64): korvsetup.exe on the real API.
file(GLOB KORV_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp)

add_executable(korvsetup WIN32 ${CMAKE_SOURCE_DIR}/app/winmain.cpp ${KORV_CORE_SOURCES} ${KORV_WIN32_SOURCES})
target_include_directories(korvsetup PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(korvsetup PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
  _WIN32_WINNT=0x0601 WINVER=0x0601)
target_compile_options(korvsetup PRIVATE ${KORV_WARNINGS} -municode -ffunction-sections -fdata-sections)
# Static runtime: the program imports only system DLLs.
target_link_options(korvsetup PRIVATE -municode -mwindows -static -static-libgcc -static-libstdc++
  -Wl,--gc-sections -s)
target_link_libraries(korvsetup PRIVATE setupapi newdev cfgmgr32 winspool shell32 comctl32 user32
  advapi32 kernel32)
set_target_properties(korvsetup PROPERTIES OUTPUT_NAME korvsetup)
if(COMMAND korv_add_windows_resources)
  korv_add_windows_resources(korvsetup)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/tools/CMakeLists.txt)
  add_subdirectory(tests/wine/tools)
endif()
