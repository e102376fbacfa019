# The .def files name each export with its 32-bit __stdcall decoration
# (name@bytes) for --kill-at to strip. 64-bit Windows has one calling
# convention and no decoration, so there the 64-bit build gets a copy without
# it, and with the module's own file name.
#   tesmar_target_def(<target> <def file> <file name of the 64-bit module>)
function(tesmar_target_def target def library)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_sources(${target} PRIVATE ${def})
    return()
  endif()
  file(READ ${def} text)
  string(REGEX REPLACE "LIBRARY \"[^\"]*\"" "LIBRARY \"${library}\"" text "${text}")
  string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
  get_filename_component(name ${def} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  # Written only when it changes, so that a configure does not relink.
  file(GENERATE OUTPUT ${out} CONTENT "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
  target_sources(${target} PRIVATE ${out})
endfunction()
