# Cross build of the 32-bit Windows DLL (the product) with mingw-w64 (i686).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TESMAR_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
