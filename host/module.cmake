# The loadable module: libtesmar.so here, Tesmar.x32 on Windows. It exports
# the five entry points and nothing else.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/dispatch.cpp
   AND EXISTS ${PROJECT_SOURCE_DIR}/engine/CMakeLists.txt
   AND EXISTS ${PROJECT_SOURCE_DIR}/winmm/CMakeLists.txt)
  add_library(tesmar SHARED
    exports.cpp
    class_table.cpp
    interface_object.cpp
    registration.cpp
    script_class.cpp)
  target_include_directories(tesmar PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(tesmar PRIVATE tesmar_dispatch tesmar_winmm tesmar_engine)
  set_target_properties(tesmar PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    set_target_properties(tesmar PROPERTIES OUTPUT_NAME Tesmar SUFFIX .x32 PREFIX "")
    target_sources(tesmar PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tesmar.def)
    target_link_options(tesmar PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--kill-at)
    target_link_libraries(tesmar PRIVATE winmm)
  else()
    target_link_options(tesmar PRIVATE
      -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
    set_target_properties(tesmar PROPERTIES
      LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
  endif()
endif()
