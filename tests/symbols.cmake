# SPDX-License-Identifier: MIT
# Reads the program's objects or the linked program: what they call and need, what runs apart.
# Usage: cmake -D READELF=readelf -D CALLS=a;b -D PREFIXES=p;q
#              (-D OBJECTS=a.o;b.a | -D PROGRAM=quarvelt-tc -D NEEDED=regex;...) -P symbols.cmake
# Each undefined symbol is one of CALLS or begins with one of PREFIXES.  The objects run
# nothing before main or at exit (but a sanitized build's constructor).  Each library the
# program needs matches one of NEEDED, and each of NEEDED one library; a static program links
# none of the calls it must not make: to the environment, files, sockets and exit handlers.
cmake_minimum_required(VERSION 3.18...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/need.cmake")
need(READELF "install binutils")
set(files ${OBJECTS} ${PROGRAM})
if(NOT files)
  message(FATAL_ERROR "no objects to read")
elseif(PROGRAM)
  # The start routine and the start files' weak hooks.
  list(APPEND CALLS __libc_start_main __gmon_start__ __cxa_finalize _ITM_deregisterTMCloneTable
       _ITM_registerTMCloneTable)
endif()
# The prefixes are plain names, so they join into one pattern as they stand.
list(JOIN PREFIXES "|" prefix_pattern)
foreach(file IN LISTS files)
  execute_process(COMMAND "${READELF}" -W -d -S -s -l "${file}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "Symbol table")
    message(FATAL_ERROR "${READELF} could not read the symbols of ${file} (${status}): ${err}")
  elseif(out MATCHES "__gnu_lto_slim")
    message(FATAL_ERROR "${file} holds only LTO bytecode, whose calls readelf cannot see")
  endif()
  string(REGEX MATCHALL " UND [^ @\n]+" undefined "${out}")
  string(REPLACE " UND " "" undefined "${undefined}")
  list(REMOVE_DUPLICATES undefined)
  message(STATUS "${file} calls ${undefined}")
  foreach(name IN LISTS undefined)
    if(NOT name IN_LIST CALLS AND NOT (PREFIXES AND name MATCHES "^(${prefix_pattern})"))
      message(SEND_ERROR "${file} calls ${name}")
    endif()
  endforeach()
  set(apart "[.a-z]*\\.(preinit_array|init_array|ctors|fini_array|dtors)[.0-9]*")
  string(REGEX MATCHALL "${apart}" run_apart "${out}")
  if(OBJECTS AND run_apart AND NOT (PREFIXES AND out MATCHES " UND __asan_init"))
    message(SEND_ERROR "${file} runs code before main or at exit: ${run_apart}")
  endif()
endforeach()
if(OBJECTS)
  return()
endif()

string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]*\\]" entries "${out}")
string(REGEX REPLACE "[^;]*\\[([^];]*)\\]" "\\1" libraries "${entries}")
# A program without an interpreter is static, whatever made it so.
if(NOT out MATCHES "program interpreter")
  set(NEEDED "")
  set(banned "getenv|secure_getenv|open|openat|fopen|socket|connect|atexit|__cxa_atexit")
  string(REGEX MATCHALL " (${banned})\n" linked "${out}")
  string(REGEX REPLACE "[ \n]" "" linked "${linked}")
  if(linked)
    message(SEND_ERROR "the static program ${PROGRAM} links ${linked}")
  endif()
endif()
foreach(pattern IN LISTS NEEDED)
  list(FILTER libraries EXCLUDE REGEX "^${pattern}$")
endforeach()
list(LENGTH NEEDED wanted)
list(LENGTH entries found)
if(libraries OR NOT wanted EQUAL found)
  message(SEND_ERROR "${PROGRAM} needs ${entries}, not one each of ${NEEDED}")
endif()
