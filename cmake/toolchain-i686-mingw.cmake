# Cross-build for 32-bit Windows (the shipped binaries, and the x86 tests).
# The posix thread model, as for x64: the tests use std::thread and
# std::mutex, which the win32 model of this mingw lacks; winpthread is linked
# statically, so the binaries still import system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRELL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${BRELL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRELL_TRIPLE}-windres)
set(BRELL_WIDL         ${BRELL_TRIPLE}-widl)
set(BRELL_OBJDUMP      ${BRELL_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${BRELL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
