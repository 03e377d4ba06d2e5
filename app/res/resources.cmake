# Resources of korvsetup. Included once from the top CMakeLists.txt, after
# project():
#
#   include(${CMAKE_SOURCE_DIR}/app/res/resources.cmake)
#
# It provides
#
#   korv_add_resource_tables(<target>)
#       Links the string tables and dialog templates as C++ data
#       (app/res/resource_tables.h, library korv_res_tables) into <target>.
#       Any build; the simulated machine answers LoadStringW and
#       DialogBoxParamW from them.
#
#   korv_add_windows_resources(<target>)
#       Windows builds: compiles korvsetup.rc (dialogs and strings in nine
#       languages, icon, pictures, manifest, version) into <target>.
#
#   korv_add_exe_resources_test(<test binary>)
#       Registers the ctest test res.exe_resources: the ExeResources tests of
#       <test binary> (built from tests/res), which read the resources of
#       build/win32 and build/win64 korvsetup.exe. Reported as skipped when
#       neither has been built.
#
# The texts (lang/*.txt) and dialog layouts (dialogs.txt) become
# ${CMAKE_BINARY_DIR}/generated/res/{korv_strings.cpp, korv_languages.rc,
# lang_<name>.rc} at build time through gen_resources.cmake, a plain CMake
# script, so cross builds need no host tool.
#
# The pictures in art/ are drawn by tools/art/artwork.cpp and committed. On a
# native (non-cross) build the drawing tool is built too, with the test
# res.artwork_up_to_date and the target korv_art_update, which redraws art/.

include_guard(GLOBAL)

set(KORV_RES_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(KORV_RES_ROOT ${KORV_RES_DIR}/../.. ABSOLUTE)
set(KORV_RES_GEN_DIR ${CMAKE_BINARY_DIR}/generated/res)

file(GLOB KORV_RES_LANG_FILES CONFIGURE_DEPENDS ${KORV_RES_DIR}/lang/*.txt)
set(KORV_RES_RC_OUTPUTS ${KORV_RES_GEN_DIR}/korv_languages.rc)
foreach(file ${KORV_RES_LANG_FILES})
  get_filename_component(name ${file} NAME_WE)
  list(APPEND KORV_RES_RC_OUTPUTS ${KORV_RES_GEN_DIR}/lang_${name}.rc)
endforeach()
set(KORV_RES_CPP_OUTPUT ${KORV_RES_GEN_DIR}/korv_strings.cpp)

add_custom_command(
  OUTPUT ${KORV_RES_CPP_OUTPUT} ${KORV_RES_RC_OUTPUTS}
  COMMAND ${CMAKE_COMMAND} -DKORV_RES_DIR=${KORV_RES_DIR} -DKORV_RES_OUT=${KORV_RES_GEN_DIR}
          -P ${KORV_RES_DIR}/gen_resources.cmake
  DEPENDS ${KORV_RES_DIR}/gen_resources.cmake ${KORV_RES_DIR}/dialogs.txt ${KORV_RES_LANG_FILES}
          ${KORV_RES_ROOT}/common/resource_ids.h
  COMMENT "Generating string tables and dialogs from app/res/lang and app/res/dialogs.txt"
  VERBATIM)
add_custom_target(korv_res_generate DEPENDS ${KORV_RES_CPP_OUTPUT} ${KORV_RES_RC_OUTPUTS})

function(korv_add_resource_tables target)
  if(NOT TARGET korv_res_tables)
    add_library(korv_res_tables STATIC ${KORV_RES_CPP_OUTPUT} ${KORV_RES_DIR}/resource_lookup.cpp)
    add_dependencies(korv_res_tables korv_res_generate)
    target_include_directories(korv_res_tables PUBLIC ${KORV_RES_ROOT})
    target_compile_features(korv_res_tables PUBLIC cxx_std_20)
    if(KORV_WARNINGS)
      target_compile_options(korv_res_tables PRIVATE ${KORV_WARNINGS})
    endif()
  endif()
  target_link_libraries(${target} PUBLIC korv_res_tables)
endfunction()

function(korv_add_exe_resources_test test_binary)
  add_test(NAME res.exe_resources COMMAND ${test_binary} --gtest_filter=ExeResources.*)
  set_tests_properties(res.exe_resources PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()

if(WIN32)
  # The resource script is compiled by windres as its own step rather than as
  # a source of the RC language, so that the C++ options of the program
  # (-municode, warnings, ...) never reach the resource compiler.
  if(NOT CMAKE_RC_COMPILER)
    message(FATAL_ERROR "resources.cmake: set CMAKE_RC_COMPILER (windres) in the toolchain file")
  endif()
  set(KORV_RES_OBJECT ${KORV_RES_GEN_DIR}/korvsetup_rc.o)
  file(GLOB KORV_RES_ART CONFIGURE_DEPENDS ${KORV_RES_DIR}/art/*.bmp ${KORV_RES_DIR}/art/*.ico)
  add_custom_command(
    OUTPUT ${KORV_RES_OBJECT}
    COMMAND ${CMAKE_RC_COMPILER} -I ${KORV_RES_DIR} -I ${KORV_RES_ROOT} -I ${KORV_RES_GEN_DIR} -O coff
            -i ${KORV_RES_DIR}/korvsetup.rc -o ${KORV_RES_OBJECT}
    DEPENDS ${KORV_RES_DIR}/korvsetup.rc ${KORV_RES_ROOT}/common/resource_ids.h ${KORV_RES_DIR}/korvsetup.manifest
            ${KORV_RES_RC_OUTPUTS} ${KORV_RES_ART}
    COMMENT "Compiling korvsetup.rc"
    VERBATIM)
  add_custom_target(korv_res_compile DEPENDS ${KORV_RES_OBJECT})

  function(korv_add_windows_resources target)
    add_dependencies(${target} korv_res_compile)
    target_sources(${target} PRIVATE ${KORV_RES_OBJECT})
    set_source_files_properties(${KORV_RES_OBJECT} TARGET_DIRECTORY ${target}
      PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  endfunction()
elseif(NOT CMAKE_CROSSCOMPILING)
  add_executable(korv_artwork ${KORV_RES_ROOT}/tools/art/artwork.cpp)
  target_compile_features(korv_artwork PRIVATE cxx_std_20)
  if(KORV_WARNINGS)
    target_compile_options(korv_artwork PRIVATE ${KORV_WARNINGS})
  endif()
  # The committed pictures must be what the drawing tool draws today.
  add_test(NAME res.artwork_up_to_date COMMAND korv_artwork --check ${KORV_RES_DIR}/art)
  add_custom_target(korv_art_update
    COMMAND korv_artwork --out ${KORV_RES_DIR}/art
    COMMENT "Redrawing app/res/art"
    VERBATIM)
endif()
