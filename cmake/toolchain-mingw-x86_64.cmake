# Cross build of the same sources as 64-bit Windows programs with mingw-w64
# (x86_64): where the machine cannot run 32-bit code, 64-bit Wine still runs
# these against its real winmm.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TESMAR_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
