cmake_minimum_required(VERSION 3.25)
# Runs tesmar-host once and checks what it did. Portable: used natively and,
# with EMULATOR set, for the Windows program under an emulator.
#
#   -DPROGRAM=path          tesmar-host
#   -DARGS=a|b|c            its arguments, separated by |
#   -DEMULATOR=cmd          optional, put before PROGRAM
#   -DEXPECT_EXIT=n         exit status (default 0)
#   -DEXPECT_STDOUT=file    optional: standard output, line by line, after
#                           "#timestamp: <n>" became "#timestamp: T"; in the
#                           file, <int> stands for any integer
#   -DSTDOUT_CONTAINS=a|b   optional: texts that standard output must contain
#   -DSTDERR_EMPTY=ON       standard error must be empty
#   -DSTDERR_CONTAINS=a|b   optional: texts that standard error must contain
#   -DSTDERR_LACKS=a|b      optional: texts that must not appear in it
#   -DSTDERR_LINES=n        optional: standard error has exactly n lines

string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${args}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status
                TIMEOUT 60)
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")

set(failed FALSE)
macro(fail message)
  message(SEND_ERROR "${message}")
  set(failed TRUE)
endmacro()

if(NOT DEFINED EXPECT_EXIT)
  set(EXPECT_EXIT 0)
endif()
if(NOT "${status}" STREQUAL "${EXPECT_EXIT}")
  fail("exit status ${status}, expected ${EXPECT_EXIT}")
endif()

# Lines as list elements: brackets, semicolons and backslashes would confuse
# CMake lists.
function(to_lines text result)
  string(REPLACE "\\" "<BS>" text "${text}")
  string(REPLACE "[" "<LB>" text "${text}")
  string(REPLACE "]" "<RB>" text "${text}")
  string(REPLACE ";" "<SC>" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

if(DEFINED EXPECT_STDOUT)
  file(READ "${EXPECT_STDOUT}" expected)
  string(REPLACE "\r" "" expected "${expected}")
  string(REGEX REPLACE "#timestamp: -?[0-9]+" "#timestamp: T" masked "${out}")
  to_lines("${masked}" actual_lines)
  to_lines("${expected}" expected_lines)
  list(LENGTH actual_lines actual_count)
  list(LENGTH expected_lines expected_count)
  if(NOT actual_count EQUAL expected_count)
    fail("standard output has ${actual_count} lines, expected ${expected_count}")
  endif()
  set(index 0)
  foreach(want IN LISTS expected_lines)
    if(index GREATER_EQUAL actual_count)
      break()
    endif()
    list(GET actual_lines ${index} got)
    math(EXPR line "${index} + 1")
    if(want MATCHES "<int>")
      string(REGEX REPLACE "([][.*+?^$(){}|\\\\])" "\\\\\\1" pattern "${want}")
      string(REPLACE "<int>" "-?[0-9]+" pattern "${pattern}")
      if(NOT got MATCHES "^${pattern}$")
        fail("line ${line}: got '${got}', expected '${want}'")
      endif()
    elseif(NOT got STREQUAL want)
      fail("line ${line}: got '${got}', expected '${want}'")
    endif()
    math(EXPR index "${index} + 1")
  endforeach()
endif()

foreach(kind STDOUT STDERR)
  if(kind STREQUAL STDOUT)
    set(text "${out}")
  else()
    set(text "${err}")
  endif()
  if(DEFINED ${kind}_CONTAINS)
    string(REPLACE "|" ";" wanted "${${kind}_CONTAINS}")
    foreach(piece IN LISTS wanted)
      string(FIND "${text}" "${piece}" at)
      if(at EQUAL -1)
        fail("${kind} lacks '${piece}'")
      endif()
    endforeach()
  endif()
  if(DEFINED ${kind}_LACKS)
    string(REPLACE "|" ";" unwanted "${${kind}_LACKS}")
    foreach(piece IN LISTS unwanted)
      string(FIND "${text}" "${piece}" at)
      if(NOT at EQUAL -1)
        fail("${kind} holds '${piece}'")
      endif()
    endforeach()
  endif()
endforeach()
if(DEFINED STDERR_LINES)
  string(REGEX MATCHALL "\n" breaks "${err}")
  list(LENGTH breaks err_lines)
  if(NOT err MATCHES "(^|\n)$")
    math(EXPR err_lines "${err_lines} + 1")
  endif()
  if(NOT err_lines EQUAL STDERR_LINES)
    fail("standard error has ${err_lines} lines, expected ${STDERR_LINES}")
  endif()
endif()
if(STDERR_EMPTY AND NOT err STREQUAL "")
  fail("standard error is not empty")
endif()

if(failed)
  message("---- standard output\n${out}---- standard error\n${err}----")
  message(FATAL_ERROR "tesmar-host did not behave as expected")
endif()
