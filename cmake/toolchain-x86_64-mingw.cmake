# Cross-build for 64-bit Windows: what 64-bit Explorer loads, and what the
# tests run under wine64. The posix thread model: GoogleTest needs std::mutex,
# which the win32 model of this mingw lacks; winpthread is linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(BRELL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${BRELL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${BRELL_TRIPLE}-windres)
set(BRELL_WIDL         ${BRELL_TRIPLE}-widl)
set(BRELL_OBJDUMP      ${BRELL_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${BRELL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
