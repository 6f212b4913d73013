# SPDX-License-Identifier: MIT
# Runs quarvelt-tc with each argument list of the table and checks stdout, stderr and the exit status.
#
#   cmake -DPROGRAM=<path> [-DEMULATOR=<command;args>] -P program_args.cmake
#
# EMULATOR runs a cross-built program; the exit status to expect is the
# program's own, so a binary the emulator cannot load (which also exits 255)
# is caught by its output.  QUARVELT_TC_PROGRAM in the environment, when set,
# names another build of the program to run instead.

if(NOT "$ENV{QUARVELT_TC_PROGRAM}" STREQUAL "")
  set(PROGRAM "$ENV{QUARVELT_TC_PROGRAM}")
endif()
if(NOT PROGRAM)
  message(FATAL_ERROR "usage: cmake -DPROGRAM=<path> [-DEMULATOR=<command;args>] -P program_args.cmake")
endif()

set(expected "QUARVELT_TC: QUARVELT_TestClient: Ubus framework not available!\n")
set(failures 0)
set(passes 0)

# Arguments go through quoted, so an empty string reaches the program as an argument.
function(check name)
  set(command "execute_process(COMMAND \${EMULATOR} \"\${PROGRAM}\"")
  if(ARGC GREATER 1)
    math(EXPR last "${ARGC} - 1")
    foreach(i RANGE 1 ${last})
      string(REGEX REPLACE "([\\\\\"$])" "\\\\\\1" arg "${ARGV${i}}")
      string(APPEND command " \"${arg}\"")
    endforeach()
  endif()
  string(APPEND command " OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)")
  cmake_language(EVAL CODE "${command}")
  if(out STREQUAL expected AND err STREQUAL "" AND status STREQUAL "255")
    math(EXPR passes "${passes} + 1")
    set(passes ${passes} PARENT_SCOPE)
  else()
    message("FAIL ${name}: status [${status}] stdout [${out}] stderr [${err}]")
    math(EXPR failures "${failures} + 1")
    set(failures ${failures} PARENT_SCOPE)
  endif()
endfunction()

check(no_argument)
check(default_name dsl.bonding_group.0)
check(other_name dsl.line.1)
check(empty_string "")
check(three_arguments dsl.line.0 dsl.line.1 dsl.line.2)
check(dash_argument --help)
check(lone_dash -)
check(format_directives "%s%s%s%n%x%p")
check(quotes_and_backslashes "a\"b\\c$d")
string(REPEAT "a" 4096 long)
check(long_name "dsl.${long}")

message("program_args: ${passes} passed, ${failures} failed")
if(failures)
  message(FATAL_ERROR "program_args: ${failures} case(s) failed")
endif()
