# GoogleTest, compiled from Debian's sources with the mingw toolchain.
set(BRELL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${BRELL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    target_compile_options(${t} PRIVATE -w)
  endif()
endforeach()
# The win32 thread model has no std::mutex: GoogleTest's one use of it, its
# Notification, comes from cmake/gtest/Notification.h instead, for GoogleTest
# and for every test that includes its headers.
target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
target_compile_options(gtest PUBLIC "SHELL:-include ${CMAKE_SOURCE_DIR}/cmake/gtest/Notification.h")
