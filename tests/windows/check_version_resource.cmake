cmake_minimum_required(VERSION 3.25)
# Reads a PE file's version resource with exiftool and checks it says what the
# project says about itself (cmake/version.cmake).
#   -DFILE=path -DVERSION=x.y.z -DNAME=<original file name>
#   -DKIND=DLL|APP -DPRODUCT=<name> -DCOPYRIGHT=<line> [-DEXIFTOOL=exiftool]
if(NOT DEFINED EXIFTOOL)
  set(EXIFTOOL exiftool)
endif()
execute_process(COMMAND ${EXIFTOOL} -s -s -FileVersionNumber -ProductVersionNumber
                        -ObjectFileType -FileVersion -ProductVersion -ProductName
                        -LegalCopyright -OriginalFileName -FileDescription ${FILE}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${EXIFTOOL} could not read ${FILE}: ${err}")
endif()

if(KIND STREQUAL "DLL")
  set(type "Dynamic link library")
else()
  set(type "Executable application")
endif()
set(want_FileVersionNumber "${VERSION}.0")
set(want_ProductVersionNumber "${VERSION}.0")
set(want_ObjectFileType "${type}")
set(want_FileVersion "${VERSION}")
set(want_ProductVersion "${VERSION}")
set(want_ProductName "${PRODUCT}")
set(want_LegalCopyright "${COPYRIGHT}")
set(want_OriginalFileName "${NAME}")

set(failed FALSE)
foreach(field FileVersionNumber ProductVersionNumber ObjectFileType FileVersion ProductVersion
              ProductName LegalCopyright OriginalFileName FileDescription)
  if(out MATCHES "(^|\n)${field}: ([^\n]*)")
    set(got "${CMAKE_MATCH_2}")
  else()
    message(SEND_ERROR "${FILE}: the version resource has no ${field}")
    set(failed TRUE)
    continue()
  endif()
  if(DEFINED want_${field} AND NOT got STREQUAL "${want_${field}}")
    message(SEND_ERROR "${FILE}: ${field} is '${got}', expected '${want_${field}}'")
    set(failed TRUE)
  elseif(got STREQUAL "")
    message(SEND_ERROR "${FILE}: ${field} is empty")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${FILE}: the version resource is not the project's\n${out}")
endif()
