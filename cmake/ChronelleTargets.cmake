# Helpers that keep every layer's CMakeLists.txt a few lines long.
#
# chronelle_layer(<name> DEPS <targets...> [LIBS <external libs...>]
#                 [PRIVATE_HEADERS <headers...>])
#   Builds src/chronelle/<name>/*.cpp into the static library chronelle_<name>. Headers are
#   included as "chronelle/<name>/Header.h" from the src/ root. New source files are picked
#   up on the next build without editing any CMakeLists.txt.
#   `cmake --install` installs the library (exported as Chronelle::<name>) and every header
#   of the folder except PRIVATE_HEADERS under include/chronelle/<name>/. A header is public
#   unless listed: list the engine internals an application never includes. The install
#   check (tests/embed) fails when an installed header includes one that is not installed.
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
  cmake_parse_arguments(ARG "" "" "DEPS;LIBS;PRIVATE_HEADERS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()  # a layer without code yet has no target; its tests are skipped too
  endif()
  add_library(chronelle_${name} STATIC ${sources})
  target_include_directories(chronelle_${name} PUBLIC
                             $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(chronelle_${name} PUBLIC ${ARG_DEPS} ${ARG_LIBS})
  chronelle_warnings(chronelle_${name})

  set_target_properties(chronelle_${name} PROPERTIES EXPORT_NAME ${name})
  install(TARGETS chronelle_${name} EXPORT ChronelleTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  foreach(header IN LISTS ARG_PRIVATE_HEADERS)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "chronelle_layer(${name}): private header ${header} does not exist")
    endif()
    list(REMOVE_ITEM headers ${CMAKE_CURRENT_SOURCE_DIR}/${header})
  endforeach()
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/chronelle/${name}
          COMPONENT headers)
  # Layers in build order (bottom first), for the umbrella target and the pkg-config file.
  set_property(GLOBAL APPEND PROPERTY CHRONELLE_LAYERS chronelle_${name})
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
