# Configures the project twice in a scratch folder and checks the cache: the first time with no
# choices, which gives the defaults (Release, -O2); then with the user's own build type and
# Release flags, which must stay as given.
# cmake -DSOURCE=<project> -DSCRATCH=<folder> -DGENERATOR=<generator> -DCXX=<compiler> -P UserChoicesTest.cmake
file(REMOVE_RECURSE ${SCRATCH})

function(configure)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${SCRATCH} -G ${GENERATOR}
                          -DCMAKE_CXX_COMPILER=${CXX} -DKALVORT_BUILD_TESTS=OFF ${ARGN}
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configure ${ARGN} failed:\n${errors}")
  endif()
endfunction()

function(expect name value)
  load_cache(${SCRATCH} READ_WITH_PREFIX cached_ ${name})
  if(NOT "${cached_${name}}" STREQUAL "${value}")
    message(FATAL_ERROR "${name} is \"${cached_${name}}\", expected \"${value}\"")
  endif()
endfunction()

configure()
expect(CMAKE_BUILD_TYPE "Release")
expect(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

configure(-DCMAKE_BUILD_TYPE= "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG")
expect(CMAKE_BUILD_TYPE "")
expect(CMAKE_CXX_FLAGS_RELEASE "-O3 -DNDEBUG")

file(REMOVE_RECURSE ${SCRATCH})
