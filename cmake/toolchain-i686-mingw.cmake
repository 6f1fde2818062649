# Cross-build for 32-bit Windows (the shipped binaries, and the x86 tests).
# The win32 thread model: the shipped binaries start Windows threads only and
# carry no thread library of their own; libgcc and libstdc++ are linked
# statically, so every binary imports system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BRELL_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${BRELL_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${BRELL_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER  ${BRELL_TRIPLE}-windres)
set(BRELL_WIDL         ${BRELL_TRIPLE}-widl)
set(BRELL_OBJDUMP      ${BRELL_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${BRELL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
