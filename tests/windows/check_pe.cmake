cmake_minimum_required(VERSION 3.25)
# Checks a PE file of the Windows build with objdump -p, on the build machine.
#
#   -DOBJDUMP=path         the cross build's objdump
#   -DFILE=path            the DLL
#   -DBITS=32|64           its word size (default 32, the product)
#   -DEXPORTS=a|b|c        exactly these exported names, undecorated
#   -DFORBID=a|b           texts that must not appear in the file (build paths)
#
# Every import must be a system DLL: no mingw runtime DLL may be needed.

execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump -p ${FILE} failed: ${status}")
endif()

set(failed FALSE)
macro(fail message)
  message(SEND_ERROR "${message}")
  set(failed TRUE)
endmacro()

if(BITS STREQUAL 64)
  set(format pei-x86-64)
else()
  set(BITS 32)
  set(format pei-i386)
endif()
if(NOT dump MATCHES "file format ${format}\n")
  fail("${FILE} is not a ${BITS}-bit x86 PE file")
endif()
if(NOT dump MATCHES "Characteristics [^\n]*\n(\t[^\n]*\n)*\tDLL\n")
  fail("${FILE} is not marked as a DLL")
endif()

# Exports: the lines of the name pointer table, "[ n] name".
# Brackets confuse CMake lists: the entries become "#n name" first.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t\\[ *[0-9]+\\] [^\n]+\n)*" table "${dump}")
string(REGEX REPLACE "\t\\[ *([0-9]+)\\] " "#\\1 " table "${table}")
string(REGEX MATCHALL "#[0-9]+ [^\n]+" entries "${table}")
set(exported)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^#[0-9]+ " "" name "${entry}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
string(REPLACE "|" ";" wanted "${EXPORTS}")
list(SORT wanted)
if(NOT "${exported}" STREQUAL "${wanted}")
  fail("exports are [${exported}], expected [${wanted}]")
endif()

# Imports: only system DLLs.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  fail("no import table found")
endif()
foreach(entry IN LISTS imports)
  string(SUBSTRING "${entry}" 10 -1 dll)
  string(TOLOWER "${dll}" dll)
  if(dll MATCHES "libgcc|libstdc|libwinpthread|pthread|mingw")
    fail("imports the runtime DLL ${dll}: the runtimes must be linked statically")
  endif()
endforeach()

# No build or source path inside.
string(REPLACE "|" ";" forbidden "${FORBID}")
foreach(text IN LISTS forbidden)
  file(STRINGS ${FILE} hits REGEX "${text}")
  if(hits)
    list(GET hits 0 first)
    fail("contains the build path ${text}: ${first}")
  endif()
endforeach()

if(failed)
  message(FATAL_ERROR "${FILE}: checks failed")
endif()
message(STATUS "${FILE}: ${format} DLL; exports: ${exported}; imports: ${imports}")
