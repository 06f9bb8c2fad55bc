# Helpers that keep every layer's CMakeLists.txt a few lines long.
#
# chronelle_layer(<name> DEPS <targets...> [LIBS <external libs...>])
#   Builds src/chronelle/<name>/*.cpp into the static library chronelle_<name>. Headers are
#   included as "chronelle/<name>/Header.h" from the src/ root. New source files are picked
#   up on the next build without editing any CMakeLists.txt.
#
# chronelle_tests(<area> DEPS <targets...>)
#   Builds tests/<area>/*.cpp into <area>_tests and registers every GoogleTest case with
#   CTest under the prefix "<area>." so `ctest -R '^<area>\.'` runs one area.

function(chronelle_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(CHRONELLE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

function(chronelle_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()  # a layer without code yet has no target; its tests are skipped too
  endif()
  add_library(chronelle_${name} STATIC ${sources})
  target_include_directories(chronelle_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(chronelle_${name} PUBLIC ${ARG_DEPS} ${ARG_LIBS})
  chronelle_warnings(chronelle_${name})
endfunction()

function(chronelle_tests area)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${area}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${area}_tests ${sources})
  target_link_libraries(${area}_tests PRIVATE ${ARG_DEPS} chronelle_testsupport
                        GTest::gtest GTest::gmock GTest::gtest_main)
  chronelle_warnings(${area}_tests)
  gtest_discover_tests(${area}_tests TEST_PREFIX "${area}." DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()
