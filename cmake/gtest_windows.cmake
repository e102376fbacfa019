# GoogleTest for the cross build: built from the sources Debian ships, with the
# same compiler and static runtimes, under the target names find_package(GTest)
# gives natively so that every test area's CMakeLists.txt works unchanged.
include_guard(GLOBAL)

set(TESMAR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${TESMAR_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TESMAR_GTEST_SOURCE} (package googletest)")
endif()

set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# GoogleTest uses the Win32 primitives on Windows; no pthreads needed.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
# Our warning flags are for our code: GoogleTest builds with its own.
get_directory_property(_tesmar_saved_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${TESMAR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_tesmar_saved_options}")

# GoogleTest 1.11 and later name these aliases themselves.
foreach(_lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${_lib})
    add_library(GTest::${_lib} ALIAS ${_lib})
  endif()
endforeach()

# Listing the tests means starting each program under Wine: do it when the
# tests run, not after every link.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
