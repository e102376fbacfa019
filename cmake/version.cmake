# What the project says about itself. The version number is project()'s in
# the top-level CMakeLists.txt and nowhere else; everything that shows it (the
# console's --version, the Windows version resources, the release zip's name)
# takes it from there.
include_guard(GLOBAL)

set(TESMAR_PRODUCT_NAME "Tesmar Xtra")
set(TESMAR_HOLDER "The Tesmar Xtra developers")
set(TESMAR_COPYRIGHT "Copyright (c) 2026 ${TESMAR_HOLDER}")

# tesmar_version.h for code that prints the version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/tesmar_version.h.in
               ${PROJECT_BINARY_DIR}/generated/tesmar_version.h @ONLY)
add_library(tesmar_version INTERFACE)
target_include_directories(tesmar_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

if(WIN32)
  enable_language(RC)
endif()

# A Windows version resource (what Explorer shows in the file's properties)
# for <target>; nothing off Windows.
#   tesmar_version_resource(<target> DESCRIPTION <text> TYPE DLL|APP)
function(tesmar_version_resource target)
  cmake_parse_arguments(PARSE_ARGV 1 res "" "DESCRIPTION;TYPE" "")
  if(NOT WIN32)
    return()
  endif()
  if(res_TYPE STREQUAL "DLL")
    set(TESMAR_RC_FILETYPE VFT_DLL)
  elseif(res_TYPE STREQUAL "APP")
    set(TESMAR_RC_FILETYPE VFT_APP)
  else()
    message(FATAL_ERROR "tesmar_version_resource(${target}): TYPE must be DLL or APP")
  endif()
  set(TESMAR_RC_DESCRIPTION "${res_DESCRIPTION}")
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  get_target_property(prefix ${target} PREFIX)
  if(NOT prefix)
    set(prefix "")
  endif()
  get_target_property(suffix ${target} SUFFIX)
  if(NOT suffix)
    if(res_TYPE STREQUAL "DLL")
      set(suffix ${CMAKE_SHARED_LIBRARY_SUFFIX})
    else()
      set(suffix ${CMAKE_EXECUTABLE_SUFFIX})
    endif()
  endif()
  set(TESMAR_RC_FILENAME "${prefix}${name}${suffix}")
  set(TESMAR_RC_INTERNAL "${name}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# Where this build puts what ships, for the tools that run or pack it
# (tools/tesmar-host.sh, tools/make_release.sh): the files move with their
# targets, and the tools follow.
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/artifacts.txt CONTENT
"version ${PROJECT_VERSION}
product ${TESMAR_PRODUCT_NAME}
copyright ${TESMAR_COPYRIGHT}
module $<TARGET_FILE:tesmar>
console $<TARGET_FILE:tesmar-host>
")
