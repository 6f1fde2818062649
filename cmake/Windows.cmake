# Compile and link settings shared by every Windows binary of the project.

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(BRELL_ARCH x86)
  set(BRELL_OTHER_ARCH x64)
else()
  set(BRELL_ARCH x64)
  set(BRELL_OTHER_ARCH x86)
endif()

add_compile_definitions(
  UNICODE _UNICODE
  WINVER=0x0601 _WIN32_WINNT=0x0601 NTDDI_VERSION=0x06010000
  _WIN32_IE=0x0800
  NOMINMAX
  STRICT)
add_compile_options(-Wall -Wextra -fno-strict-aliasing)

# libgcc and libstdc++ are linked in, so the binaries import system DLLs only.
add_link_options(-static-libgcc -static-libstdc++ -static -Wl,--dynamicbase -Wl,--nxcompat)
if(BRELL_ARCH STREQUAL "x64")
  add_link_options(-Wl,--high-entropy-va)
endif()

# Processor architecture as written in side-by-side manifests.
if(BRELL_ARCH STREQUAL "x86")
  set(BRELL_MANIFEST_ARCH x86)
else()
  set(BRELL_MANIFEST_ARCH amd64)
endif()

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
