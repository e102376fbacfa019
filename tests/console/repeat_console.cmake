cmake_minimum_required(VERSION 3.25)
# Runs tesmar-host RUNS times and fails unless every run printed the same as
# the first, on both streams (the machine's times masked: trace lines' and
# #timestamp values).
#
#   -DPROGRAM=path -DARGS=a|b|c -DRUNS=n
#   -DEXPECT_STDOUT=file  the first run's standard output must also be this
#   -DSORTED=ON standard error compared as a set of lines: their order may
#               follow the machine, but each line must be whole
#   -DLATE=ON   standard error is read only seconds after the program began
#               writing it (a reader that falls behind), through /bin/sh

string(REPLACE "|" ";" args "${ARGS}")
set(first_out "")
set(first_err "")
foreach(run RANGE 1 ${RUNS})
  if(LATE)
    file(MAKE_DIRECTORY "${WORK_DIR}")
    set(script "\"$0\" \"$@\" 2>&1 1>\"${WORK_DIR}/out.txt\" | { sleep 3; cat; }")
    execute_process(COMMAND sh -c "${script}" ${PROGRAM} ${args}
                    OUTPUT_VARIABLE err RESULT_VARIABLE status TIMEOUT 120)
    file(READ "${WORK_DIR}/out.txt" out)
  else()
    execute_process(COMMAND ${PROGRAM} ${args}
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status TIMEOUT 120)
  endif()
  string(REGEX REPLACE "#timestamp: -?[0-9]+" "#timestamp: T" out "${out}")
  string(REGEX REPLACE "(^|\n)[0-9]+ ms " "\\1T ms " err "${err}")
  if(SORTED)
    string(REPLACE ";" "<SC>" err "${err}")
    string(REPLACE "\n" ";" err_lines "${err}")
    list(SORT err_lines)
    string(REPLACE ";" "\n" err "${err_lines}")
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "run ${run}: exit status ${status}\n${err}")
  endif()
  if(run EQUAL 1)
    if(DEFINED EXPECT_STDOUT)
      file(READ "${EXPECT_STDOUT}" expected)
      if(NOT out STREQUAL expected)
        message(FATAL_ERROR "run 1 differs from ${EXPECT_STDOUT}:\n${out}")
      endif()
    endif()
    set(first_out "${out}")
    set(first_err "${err}")
    message("---- standard output\n${out}---- standard error\n${err}----")
  elseif(NOT out STREQUAL first_out OR NOT err STREQUAL first_err)
    message(FATAL_ERROR "run ${run} differs from run 1:\n---- standard output\n${out}"
                        "---- standard error\n${err}----")
  endif()
endforeach()
