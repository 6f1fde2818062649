# Tests of both builds run under Wine: each test program in a private copy of
# a Wine prefix that is booted once per test run (fixture wine_prefix), on a
# private Xvfb display (tests/wine/run.sh). The x86 build's programs run in
# the same kind of prefix through WoW64. Where this machine cannot run x86
# programs, the tests that need them exit with code 77 and CTest reports
# them as skipped (test.sh says so loudly); the host-side static checks of
# the x86 binaries still run.

set(BRELL_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)
set(BRELL_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/run.sh)
if(BRELL_ARCH STREQUAL "x86")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRELL_WINE_RUN} --x86 ${BRELL_WINE_TEMPLATE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRELL_WINE_RUN} ${BRELL_WINE_TEMPLATE})
endif()
set(BRELL_SKIP_CODE 77)

# An emulated machine (software x86 emulation, for one) runs everything many
# times slower: BRELL_TEST_TIMEOUT_SCALE multiplies every test's time limit.
set(BRELL_TEST_TIMEOUT_SCALE 1 CACHE STRING "Factor applied to every test's time limit")
# brell_timeout(<out variable> <seconds>): the time limit for this machine.
function(brell_timeout out seconds)
  math(EXPR scaled "${seconds} * ${BRELL_TEST_TIMEOUT_SCALE}")
  set(${out} ${scaled} PARENT_SCOPE)
endfunction()

add_test(NAME wine_prefix_boot
         COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/boot-prefix.sh ${BRELL_WINE_TEMPLATE})
# An emulated machine takes minutes to boot a prefix.
brell_timeout(_boot_timeout 900)
set_tests_properties(wine_prefix_boot PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT ${_boot_timeout})

# The x86 build also runs tests on 32-bit Windows: a prefix of its own,
# WINEARCH=win32 (fixture wine_prefix_win32), booted only where x86 programs
# run (elsewhere it just records why not).
if(BRELL_ARCH STREQUAL "x86")
  set(BRELL_WINE_TEMPLATE_WIN32 ${CMAKE_BINARY_DIR}/wine-template-win32)
  add_test(NAME wine_prefix_win32_boot
           COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/boot-prefix.sh --win32 ${BRELL_WINE_TEMPLATE_WIN32})
  set_tests_properties(wine_prefix_win32_boot PROPERTIES FIXTURES_SETUP wine_prefix_win32 TIMEOUT ${_boot_timeout})
endif()

# The folder of the other architecture's build beside this one (build/x86 for
# build/x64 and the other way round), for tests that drive both builds.
if(BRELL_ARCH STREQUAL "x86")
  string(REGEX REPLACE "x86$" "x64" _other "${CMAKE_BINARY_DIR}")
else()
  string(REGEX REPLACE "x64$" "x86" _other "${CMAKE_BINARY_DIR}")
endif()
if(_other STREQUAL CMAKE_BINARY_DIR)
  set(_other ${CMAKE_SOURCE_DIR}/build/${BRELL_OTHER_ARCH})
endif()
set(BRELL_OTHER_BIN ${_other}/bin CACHE PATH
    "The bin folder of the other architecture's build, for the mixed x86/x64 tests")

# brell_add_wine_test(NAME <name> TARGET <exe target> [X86] [WIN32_PREFIX] [ARGS ...] [TIMEOUT s])
# Adds a test that runs a Windows program of this build under Wine. X86 marks
# an x64 program that also runs x86 ones (every test of the x86 build does).
# WIN32_PREFIX (x86 build only) runs it on 32-bit Windows, a WINEARCH=win32
# prefix, instead of the 64-bit one.
function(brell_add_wine_test)
  cmake_parse_arguments(T "X86;WIN32_PREFIX" "NAME;TARGET;TIMEOUT" "ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  brell_timeout(timeout ${T_TIMEOUT})
  set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
  set(fixture wine_prefix)
  if(T_X86 AND NOT BRELL_ARCH STREQUAL "x86")
    set(emulator ${BRELL_WINE_RUN} --x86 ${BRELL_WINE_TEMPLATE})
  endif()
  if(T_WIN32_PREFIX)
    if(NOT BRELL_ARCH STREQUAL "x86")
      message(FATAL_ERROR "${T_NAME}: only x86 programs run in a 32-bit prefix")
    endif()
    set(emulator ${BRELL_WINE_RUN} --x86 ${BRELL_WINE_TEMPLATE_WIN32})
    set(fixture wine_prefix_win32)
  endif()
  # The emulator is taken from the target's CROSSCOMPILING_EMULATOR property.
  set_target_properties(${T_TARGET} PROPERTIES CROSSCOMPILING_EMULATOR "${emulator}")
  add_test(NAME ${T_NAME} COMMAND ${T_TARGET} ${T_ARGS})
  set(labels wine)
  if(T_X86 OR BRELL_ARCH STREQUAL "x86")
    list(APPEND labels needs_x86)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    FIXTURES_REQUIRED ${fixture}
    SKIP_RETURN_CODE ${BRELL_SKIP_CODE}
    LABELS "${labels}"
    TIMEOUT ${timeout})
endfunction()

# brell_add_gtest(<target> SOURCES ... [LIBS ...] [TIMEOUT s] [X86] [WIN32_PREFIX])
# A GoogleTest program for Windows, run as one test under Wine.
function(brell_add_gtest target)
  cmake_parse_arguments(T "X86;WIN32_PREFIX" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE gtest gmock gtest_main ${T_LIBS})
  set(flags)
  if(T_X86)
    list(APPEND flags X86)
  endif()
  if(T_WIN32_PREFIX)
    list(APPEND flags WIN32_PREFIX)
  endif()
  brell_add_wine_test(NAME ${target} TARGET ${target} TIMEOUT ${T_TIMEOUT} ${flags})
endfunction()

# brell_add_static_test(NAME <name> COMMAND ...)
# A host-side check of a built binary; it runs whatever the machine.
function(brell_add_static_test)
  cmake_parse_arguments(T "" "NAME" "COMMAND" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES LABELS static)
endfunction()

