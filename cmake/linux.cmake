# Linux build: the core on the simulated machine, the unit tests (plain and
# under ASan+UBSan), korvsim, benchmarks and fuzz targets.
#
# Each subsystem folder is its own library with its own test binary, so a
# subsystem's tests link only what that subsystem stands on.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
enable_testing()

set(KORV_SUBSYSTEMS common system discovery install uninstall app)
set(KORV_DEPS_common platform)
set(KORV_DEPS_system common)
set(KORV_DEPS_discovery common)
set(KORV_DEPS_install discovery system common)
set(KORV_DEPS_uninstall system common)
set(KORV_DEPS_app install uninstall discovery system common)

file(GLOB KORV_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)

# Builds the libraries and test binaries once per flavour: "" plain, "_san"
# with sanitizers.
function(korv_add_flavour sfx)
  cmake_parse_arguments(ARG "" "" "FLAGS" ${ARGN})
  file(GLOB sim_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/sim/*.cpp)
  add_library(korv_platform${sfx} STATIC ${sim_sources})
  target_include_directories(korv_platform${sfx} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_compile_options(korv_platform${sfx} PUBLIC ${ARG_FLAGS} PRIVATE ${KORV_WARNINGS})
  target_link_options(korv_platform${sfx} PUBLIC ${ARG_FLAGS})
  target_link_libraries(korv_platform${sfx} PUBLIC Threads::Threads)

  foreach(sub ${KORV_SUBSYSTEMS})
    file(GLOB src CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${sub}/*.cpp)
    list(FILTER src EXCLUDE REGEX "/app/winmain\\.cpp$")
    if(NOT src)
      add_library(korv_${sub}${sfx} INTERFACE)
      set(scope INTERFACE)
    else()
      add_library(korv_${sub}${sfx} STATIC ${src})
      target_compile_options(korv_${sub}${sfx} PRIVATE ${KORV_WARNINGS})
      set(scope PUBLIC)
    endif()
    foreach(dep ${KORV_DEPS_${sub}})
      target_link_libraries(korv_${sub}${sfx} ${scope} korv_${dep}${sfx})
    endforeach()
  endforeach()

  # The program's resources come with the program: the simulated machine is
  # handed them by whoever runs the program on it.
  if(COMMAND korv_add_resource_tables)
    korv_add_resource_tables(korv_app${sfx})
  endif()

  # The whole core, for korvsim and the benchmarks.
  add_library(korvcore${sfx} INTERFACE)
  target_link_libraries(korvcore${sfx} INTERFACE korv_app${sfx})

  # The one way to describe a simulated machine: korvsim's scenario reader,
  # also used by the unit tests, the sweeps and the benchmarks.
  add_library(korv_scenario${sfx} STATIC
    ${CMAKE_SOURCE_DIR}/tools/korvsim/json_reader.cpp ${CMAKE_SOURCE_DIR}/tools/korvsim/scenario.cpp)
  target_link_libraries(korv_scenario${sfx} PUBLIC korv_discovery${sfx} nlohmann_json::nlohmann_json)
  target_compile_options(korv_scenario${sfx} PRIVATE ${KORV_WARNINGS})

  foreach(sub platform res ${KORV_SUBSYSTEMS} scenarios sweep)
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${sub}/*_test.cpp)
    if(tests)
      set(lib korv_${sub}${sfx})
      if(sub STREQUAL "scenarios" OR sub STREQUAL "sweep")
        set(lib korvcore${sfx})
      elseif(sub STREQUAL "platform" OR sub STREQUAL "res")
        # The shared test fixture resets the program's globals (common/).
        set(lib korv_common${sfx})
      endif()
      add_executable(korv_tests_${sub}${sfx} ${tests} ${KORV_TEST_SUPPORT})
      target_link_libraries(korv_tests_${sub}${sfx} PRIVATE ${lib} korv_scenario${sfx} GTest::gtest GTest::gtest_main)
      # The shared test fixture hands the program's resources to the machine.
      if(COMMAND korv_add_resource_tables)
        korv_add_resource_tables(korv_tests_${sub}${sfx})
      endif()
      target_compile_options(korv_tests_${sub}${sfx} PRIVATE ${KORV_WARNINGS})
      target_include_directories(korv_tests_${sub}${sfx} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
      add_test(NAME ${sub}${sfx} COMMAND korv_tests_${sub}${sfx} --gtest_brief=1)
      if(sfx STREQUAL "_san")
        set_tests_properties(${sub}${sfx} PROPERTIES ENVIRONMENT
          "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
      endif()
    endif()
  endforeach()
endfunction()

# Fuzzing (-DKORV_FUZZ=ON, configured with clang): the plain flavour is
# instrumented for libFuzzer's coverage feedback and checked by ASan and UBSan,
# so the fuzz targets of fuzz/ see inside the core they link. The targets add
# libFuzzer's main themselves (-fsanitize=fuzzer).
set(KORV_PLAIN_FLAGS)
if(KORV_FUZZ)
  set(KORV_PLAIN_FLAGS -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
endif()
korv_add_flavour("" FLAGS ${KORV_PLAIN_FLAGS})
if(COMMAND korv_add_exe_resources_test)
  korv_add_exe_resources_test(korv_tests_res)
endif()
if(KORV_SANITIZERS)
  korv_add_flavour("_san" FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
endif()

foreach(dir tools/korvsim tools/korvsnap bench tests/scenarios)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
if(KORV_FUZZ AND EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
  add_subdirectory(fuzz)
endif()
