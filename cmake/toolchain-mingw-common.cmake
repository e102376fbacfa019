# What both mingw-w64 cross builds share; the including toolchain file sets
# TESMAR_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR first. The posix-threads
# variant is the one with std::thread; the C and C++ runtimes are linked
# statically so that the DLLs and the test programs need no mingw runtime DLL.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TESMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESMAR_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${TESMAR_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TESMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Source and build paths must not end up in what ships.
get_filename_component(_tesmar_source "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(_tesmar_maps "-ffile-prefix-map=${_tesmar_source}/=")
if(CMAKE_BINARY_DIR)
  string(APPEND _tesmar_maps " -ffile-prefix-map=${CMAKE_BINARY_DIR}/=")
endif()
set(CMAKE_C_FLAGS_INIT "${_tesmar_maps}")
set(CMAKE_CXX_FLAGS_INIT "${_tesmar_maps}")

# ld stamps PE files with the link time by default; zero keeps the bytes the
# same from one build of a commit to the next.
set(_tesmar_link "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_tesmar_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_tesmar_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_tesmar_link}")
