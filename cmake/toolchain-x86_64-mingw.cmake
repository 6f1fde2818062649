# Cross-build for 64-bit Windows: what 64-bit Explorer loads, and what the
# tests run under wine64. The win32 thread model: the shipped binaries start Windows threads only and
# carry no thread library of their own; libgcc and libstdc++ are linked
# statically, so every binary imports system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRELL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${BRELL_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${BRELL_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER  ${BRELL_TRIPLE}-windres)
set(BRELL_WIDL         ${BRELL_TRIPLE}-widl)
set(BRELL_OBJDUMP      ${BRELL_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${BRELL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
