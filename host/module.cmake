# The loadable module: libtesmar.so here, Tesmar.x32 on Windows (Tesmar.x64 in
# the 64-bit build that runs the tests under 64-bit Wine). It exports the five
# entry points and nothing else.
add_library(tesmar SHARED
  exports.cpp
  class_table.cpp
  interface_object.cpp
  registration.cpp
  script_class.cpp
  composition.cpp)
target_include_directories(tesmar PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(tesmar PRIVATE tesmar_dispatch tesmar_winmm tesmar_engine)
set_target_properties(tesmar PROPERTIES
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_tesmar_suffix .x64)
  else()
    set(_tesmar_suffix .x32)
  endif()
  set_target_properties(tesmar PROPERTIES OUTPUT_NAME Tesmar SUFFIX ${_tesmar_suffix} PREFIX "")
  include(${PROJECT_SOURCE_DIR}/cmake/def_file.cmake)
  tesmar_target_def(tesmar ${CMAKE_CURRENT_SOURCE_DIR}/tesmar.def Tesmar${_tesmar_suffix})
  target_link_options(tesmar PRIVATE -Wl,--kill-at)
  target_link_libraries(tesmar PRIVATE winmm)
else()
  target_link_options(tesmar PRIVATE
    -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  set_target_properties(tesmar PROPERTIES
    LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
endif()
tesmar_version_resource(tesmar DESCRIPTION "MIDI ports for Director scripts" TYPE DLL)
