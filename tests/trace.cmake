# SPDX-License-Identifier: MIT
# Traces one run of the program: one write of the whole line to fd 1, and no socket opened or named.
# Usage: cmake -D PROGRAM=quarvelt-tc -D LINE=report-line.txt [-D EMULATOR=qemu;option...]
#              -P trace.cmake
# strace traces the program, or the emulator does, showing a buffer by its address.  Standard
# output is a pipe: with it closed, the emulator's log would take fd 1.
cmake_minimum_required(VERSION 3.18...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/need.cmake")
set(log "${CMAKE_CURRENT_BINARY_DIR}/trace.log")
if(EMULATOR)
  set(options ${EMULATOR})
  list(POP_FRONT options TRACER)
  need(TRACER "install qemu-user-static")
  set(command "${TRACER}" ${options} -strace -D "${log}")
else()
  set(TRACER strace)
  need(TRACER "install strace")
  set(command "${TRACER}" -f -qq -o "${log}" --)
endif()
file(READ "${LINE}" line)
string(LENGTH "${line}" length)
file(REMOVE "${log}")
execute_process(COMMAND ${command} "${PROGRAM}" dsl.line.1 RESULT_VARIABLE status
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT EXISTS "${log}")
  message(FATAL_ERROR "no trace was made (${status}): ${err}")
elseif(NOT out STREQUAL line OR NOT status EQUAL 255)
  message(SEND_ERROR "the traced run exited ${status} and wrote [${out}]")
endif()
# A call a line, after the process ID; read as text, as a list would take the brackets in
# the bytes that a call shows for its own.
file(READ "${log}" calls)
set(bus "\n[0-9]* *(socket|socketpair|connect)\\([^\n]*|\n[^\n]*ubus\\.sock[^\n]*")
string(REGEX MATCHALL "${bus}" bus "\n${calls}")
if(bus)
  message(SEND_ERROR "the run reached for the bus:${bus}")
endif()
string(REGEX MATCHALL "\n[0-9]* *(p?write|sendmsg)[^\n]*" writes "\n${calls}")
string(REGEX REPLACE "\n[0-9]* *" "" writes "${writes}")
# glibc writes the buffer with write(2), musl with writev(2), in pieces: either way one call
# to fd 1 that writes as many bytes as the line, which is then all the run wrote there.
if(NOT writes MATCHES "^writev?\\(1, ?[^;]* = ${length}$")
  message(SEND_ERROR "not one write of ${length} bytes to fd 1: ${writes}")
endif()
