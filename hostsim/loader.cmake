# The module loader: loads the plug-in as the host does, with an in-memory
# registry.
add_library(hostsim_loader STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/dynamic_library.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/registry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/loader.cpp)
target_include_directories(hostsim_loader PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(hostsim_loader PUBLIC hostsim_services ${CMAKE_DL_LIBS})
