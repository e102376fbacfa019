# The stand-in host's value store and services, and its reading of a method
# table.
add_library(hostsim_services STATIC
  ${CMAKE_CURRENT_LIST_DIR}/method_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sim_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_print.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_services.cpp
  ${CMAKE_CURRENT_LIST_DIR}/value_store.cpp)
target_include_directories(hostsim_services PUBLIC ${PROJECT_SOURCE_DIR})
