# The Windows build's staging: what must stand where before its programs run
# under Wine: a Wine prefix with the loopback driver, the module beside
# tesmar-host.exe, and the loopback stress program.

# The Wine prefix is made when the build ends, not while ctest lists the tests
# (each listing has a few seconds).
if(CMAKE_CROSSCOMPILING_EMULATOR)
  add_custom_target(wine_prefix ALL
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --prepare ${PROJECT_BINARY_DIR}
    COMMENT "Wine prefix with the loopback driver")
  add_dependencies(wine_prefix wineloop)
endif()

# tesmar-host.exe loads the module (Tesmar.x32, or Tesmar.x64 in the 64-bit
# build) from beside itself, as LoadLibrary looks.
add_custom_target(tesmar_beside_host ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tesmar>
          $<TARGET_FILE_DIR:tesmar-host>/
  DEPENDS tesmar
  COMMENT "The module beside tesmar-host.exe")
add_dependencies(tesmar_beside_host tesmar-host)

# The stress program (bench/ itself is only added with Google Benchmark, which
# the cross build does not have); tests/windows runs a round of it.
add_subdirectory(${PROJECT_SOURCE_DIR}/bench/windows ${CMAKE_BINARY_DIR}/bench/windows)
