# Tests of the x64 build run under wine64: each test program in a private
# copy of a Wine prefix that is booted once per test run (fixture
# wine_prefix), on a private Xvfb display (tests/wine/run.sh).

set(BRELL_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/tests/wine/run.sh ${BRELL_WINE_TEMPLATE})

add_test(NAME wine_prefix_boot
         COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/boot-prefix.sh ${BRELL_WINE_TEMPLATE})
set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)

# brell_add_wine_test(NAME <name> TARGET <exe target> [ARGS ...] [TIMEOUT s])
# Adds a test that runs a Windows program of this build under wine64.
function(brell_add_wine_test)
  cmake_parse_arguments(T "" "NAME;TARGET;TIMEOUT" "ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # The emulator is taken from the target's CROSSCOMPILING_EMULATOR property.
  set_target_properties(${T_TARGET} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
  add_test(NAME ${T_NAME} COMMAND ${T_TARGET} ${T_ARGS})
  set_tests_properties(${T_NAME} PROPERTIES
    FIXTURES_REQUIRED wine_prefix
    TIMEOUT ${T_TIMEOUT})
endfunction()

# brell_add_gtest(<target> SOURCES ... [LIBS ...] [TIMEOUT s])
# A GoogleTest program for Windows, run as one test under wine64.
function(brell_add_gtest target)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE gtest gmock gtest_main ${T_LIBS})
  brell_add_wine_test(NAME ${target} TARGET ${target} TIMEOUT ${T_TIMEOUT})
endfunction()
