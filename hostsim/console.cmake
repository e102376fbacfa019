# tesmar-host, the script console. The language part (tesmar_console) builds
# without the module so that its tests can use a stand-in plug-in.
set(console_dir ${CMAKE_CURRENT_LIST_DIR}/console)

if(TARGET hostsim_services)
  add_library(tesmar_console STATIC
    ${console_dir}/lexer.cpp
    ${console_dir}/parser.cpp
    ${console_dir}/script_reader.cpp
    ${console_dir}/values.cpp
    ${console_dir}/list_functions.cpp
    ${console_dir}/interpreter.cpp
    ${console_dir}/parameter_counts.cpp
    ${console_dir}/options.cpp
    ${console_dir}/play_file.cpp
    ${console_dir}/movie.cpp
    ${console_dir}/port_functions.cpp)
  target_include_directories(tesmar_console PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tesmar_console PUBLIC hostsim_services)
endif()

if(TARGET tesmar_console AND TARGET hostsim_loader)
  add_executable(tesmar-host
    ${console_dir}/main.cpp
    ${console_dir}/module_session.cpp
    ${console_dir}/line_input.cpp
    $<$<NOT:$<BOOL:${TESMAR_WINDOWS}>>:${console_dir}/virtual_ports.cpp>
    $<$<BOOL:${TESMAR_WINDOWS}>:${console_dir}/virtual_ports_windows.cpp>)
  target_link_libraries(tesmar-host PRIVATE tesmar_console hostsim_loader)
  set_target_properties(tesmar-host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/hostsim)
  if(NOT TESMAR_WINDOWS)
    target_link_libraries(tesmar-host PRIVATE simwinmm)
    # Line editing and history at the prompt, where libedit is installed.
    find_path(EDITLINE_INCLUDE_DIR editline/readline.h)
    find_library(EDITLINE_LIBRARY edit)
    if(EDITLINE_INCLUDE_DIR AND EDITLINE_LIBRARY)
      target_include_directories(tesmar-host PRIVATE ${EDITLINE_INCLUDE_DIR})
      target_link_libraries(tesmar-host PRIVATE ${EDITLINE_LIBRARY})
      target_compile_definitions(tesmar-host PRIVATE TESMAR_LIBEDIT)
    else()
      message(STATUS "libedit not found: tesmar-host's prompt has no line editing")
    endif()
  endif()
  # On Windows the module is looked for next to the program, as LoadLibrary does.
  if(TARGET tesmar)
    add_dependencies(tesmar-host tesmar)
    if(NOT TESMAR_WINDOWS)
      target_compile_definitions(tesmar-host PRIVATE TESMAR_DEFAULT_MODULE="$<TARGET_FILE:tesmar>")
    endif()
  endif()
endif()
