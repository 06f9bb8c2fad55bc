# Steps of the embed tests (see CMakeLists.txt), run with cmake -P and -DMODE=<step>.
cmake_minimum_required(VERSION 3.25)

function(run_checked)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}\n${err}")
  endif()
endfunction()

# Runs the built example on a new store and compares what it prints with expected.txt. The
# example logs warnings and errors only, so anything on stderr (a read that failed and was
# logged) fails the test too.
function(run_example binary store)
  file(REMOVE_RECURSE ${store})
  execute_process(COMMAND ${binary} ${store} RESULT_VARIABLE result OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  file(READ ${EXPECTED} expected)
  if(NOT result EQUAL 0 OR NOT out STREQUAL expected OR NOT err STREQUAL "")
    message(FATAL_ERROR "${binary} exited with ${result}\nexpected:\n${expected}\ngot:\n${out}\n"
                        "stderr:\n${err}")
  endif()
endfunction()

set(launcher)
if(LAUNCHER)
  set(launcher ${LAUNCHER})
endif()

if(MODE STREQUAL "install")
  # A fresh tree each time, so a header that is no longer installed cannot linger.
  file(REMOVE_RECURSE ${STAGE})
  run_checked(${CMAKE_COMMAND} --install ${BUILD} --prefix ${STAGE})

elseif(MODE STREQUAL "headers")
  file(GLOB_RECURSE headers RELATIVE ${STAGE}/include ${STAGE}/include/chronelle/*.h)
  if(NOT headers)
    message(FATAL_ERROR "no headers under ${STAGE}/include/chronelle")
  endif()
  set(problems "")
  foreach(header IN LISTS headers)
    file(STRINGS ${STAGE}/include/${header} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
      # (The match is read in a second `if`: ${CMAKE_MATCH_1} in the same condition would
      # expand to the previous line's match.)
      if(line MATCHES "[<\"](chronelle/[^>\"]+)[>\"]")
        if(NOT EXISTS ${STAGE}/include/${CMAKE_MATCH_1})
          string(APPEND problems "${header} includes ${CMAKE_MATCH_1}, which is not installed\n")
        endif()
      endif()
      # The public interface compiles without the store's and ICU's headers.
      if(line MATCHES "[<\"](sqlite3\\.h|unicode/[^>\"]+)[>\"]")
        string(APPEND problems "${header} includes ${CMAKE_MATCH_1}\n")
      endif()
    endforeach()
  endforeach()
  if(problems)
    message(FATAL_ERROR "${problems}")
  endif()

elseif(MODE STREQUAL "cmake")
  file(REMOVE_RECURSE ${WORK}/cmake)
  set(launcher_option)
  if(LAUNCHER)
    set(launcher_option -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
  endif()
  # Only the staging prefix: the package must bring everything it needs.
  run_checked(${CMAKE_COMMAND} -S ${EXAMPLE} -B ${WORK}/cmake -G Ninja -DCMAKE_BUILD_TYPE=Debug
              -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${STAGE} ${launcher_option}
              "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}")
  run_checked(${CMAKE_COMMAND} --build ${WORK}/cmake)
  run_example(${WORK}/cmake/chronelle-embed ${WORK}/cmake/store)

elseif(MODE STREQUAL "pkgconfig")
  file(REMOVE_RECURSE ${WORK}/pkgconfig)
  file(MAKE_DIRECTORY ${WORK}/pkgconfig)
  file(GLOB pcdirs ${STAGE}/lib*/pkgconfig ${STAGE}/lib/*/pkgconfig)
  string(JOIN ":" pcpath ${pcdirs})
  set(ENV{PKG_CONFIG_PATH} "${pcpath}")
  string(REPLACE ";" " " compiler "${launcher};${CXX}")
  string(STRIP "${compiler}" compiler)
  run_checked(make --no-print-directory -f ${EXAMPLE}/Makefile "CXX=${compiler}" "CXXFLAGS=-O1 ${FLAGS}"
              "LDFLAGS=${LINK_FLAGS}"
              OUT=${WORK}/pkgconfig/chronelle-embed)
  run_example(${WORK}/pkgconfig/chronelle-embed ${WORK}/pkgconfig/store)

else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
