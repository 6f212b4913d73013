# SPDX-License-Identifier: MIT
# Checks that a program is the device's: MIPS32r2 or older, big-endian, o32, soft-float, no FPU.
# Usage: cmake -D READELF=readelf -D OBJDUMP=objdump -D PROGRAM=quarvelt-tc -P device.cmake
# An FPU instruction traps on the device's core even in code no emulator runs, so it is found
# by its encoding: the major opcodes COP1, COP1X, LWC1, LDC1, SWC1, SDC1 and MSA's, and
# SPECIAL's MOVCI.  MIPS16 code, which has none, shows in 16-bit halves, which are not read.
cmake_minimum_required(VERSION 3.18...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/need.cmake")
need(READELF "install binutils")
need(OBJDUMP "the toolchain lacks it")
execute_process(COMMAND "${READELF}" -W -h -l -A "${PROGRAM}" RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${READELF} could not read ${PROGRAM} (${status}): ${err}")
endif()
set(properties "Class: +ELF32" "Data: +2's complement, big endian" "Machine: +MIPS R3000"
               "Flags:[^\n]*, o32,[^\n]* (mips1|mips2|mips32|mips32r2)\n" "ISA: MIPS(1|2|32|32r2)\n"
               "FP ABI: +Soft float" "CPR1 size: +0\n")
foreach(property IN LISTS properties)
  if(NOT out MATCHES "${property}")
    string(REPLACE "\n" "" property "${property}")
    message(SEND_ERROR "${PROGRAM} is not the device's: readelf shows no line \"${property}\"")
  endif()
endforeach()
if(out MATCHES "Flags:[^\n]*micromips")
  message(SEND_ERROR "${PROGRAM} holds microMIPS code")
endif()
if(out MATCHES "interpreter: ([^]]*)" AND NOT CMAKE_MATCH_1 STREQUAL "/lib/ld-musl-mips-sf.so.1")
  message(SEND_ERROR "${PROGRAM} asks for the loader ${CMAKE_MATCH_1}")
endif()

execute_process(COMMAND "${OBJDUMP}" -d "${PROGRAM}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
string(REPEAT "[0-9a-f]" 2 h2)
string(REGEX MATCHALL "\t${h2}${h2}${h2}${h2} *\t" words "${out}")
set(fpu_word "(4[4-7c-f]|7[89ab]|[c-f][4-7])${h2}${h2}${h2}|0[0-3]${h2}${h2}[048c]1")
string(REGEX MATCHALL "\t(${fpu_word}) *\t[^\n]*" fpu "${out}")
if(NOT status EQUAL 0 OR NOT words)
  message(FATAL_ERROR "${OBJDUMP} found no instruction in ${PROGRAM} (${status}): ${err}")
elseif(fpu)
  message(SEND_ERROR "${PROGRAM} holds FPU instructions: ${fpu}")
endif()
