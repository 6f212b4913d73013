# SPDX-License-Identifier: MIT
# Reads the program's objects or the linked program: what they call and need, what runs apart.
#
#   cmake -D READELF=readelf -D CALLS=a;b -D PREFIXES=p;q
#         (-D OBJECTS=a.o;b.a | -D PROGRAM=quarvelt-tc -D NEEDED=regex;...) -P symbols.cmake
#
# Each undefined symbol is one of CALLS or begins with one of PREFIXES; the
# program may also import the start routine and the start files' weak hooks.
# The objects run nothing before main or at exit (but a sanitized build's
# constructor).  Each needed library matches one of NEEDED, and each of NEEDED
# one library.  A static program's symbol table lacks the calls it must not
# make: to the environment, files, sockets and exit handlers.
cmake_minimum_required(VERSION 3.18...3.25)
include("${CMAKE_CURRENT_LIST_DIR}/need.cmake")
need(READELF "install binutils")
if(PROGRAM)
  set(files "${PROGRAM}")
  set(headers -l)
  list(APPEND CALLS __libc_start_main __gmon_start__ __cxa_finalize _ITM_deregisterTMCloneTable
       _ITM_registerTMCloneTable)
elseif(OBJECTS)
  set(files "${OBJECTS}")
else()
  message(FATAL_ERROR "no objects to read")
endif()
set(calls_seen "")
# The prefixes are plain names, so they join into one pattern as they stand.
list(JOIN PREFIXES "|" prefix_pattern)
foreach(file IN LISTS files)
  execute_process(COMMAND "${READELF}" -W -d -S -s ${headers} "${file}" RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "Symbol table")
    message(FATAL_ERROR "${READELF} could not read the symbols of ${file} (${status}): ${err}")
  elseif(out MATCHES "__gnu_lto_slim")
    message(FATAL_ERROR "${file} holds only LTO bytecode, whose calls readelf cannot see")
  endif()
  string(REGEX MATCHALL " UND [^ @\n]+" undefined "${out}")
  list(REMOVE_DUPLICATES undefined)
  foreach(symbol IN LISTS undefined)
    string(SUBSTRING "${symbol}" 5 -1 name)
    list(APPEND calls_seen "${name}")
    if(NOT name IN_LIST CALLS AND NOT (PREFIXES AND name MATCHES "^(${prefix_pattern})"))
      message(SEND_ERROR "${file} calls ${name}")
    endif()
  endforeach()
  set(apart "[.a-z]*\\.(preinit_array|init_array|ctors|fini_array|dtors)[.0-9]*")
  string(REGEX MATCHALL "${apart}" run_apart "${out}")
  list(JOIN run_apart ", " run_apart)
  if(OBJECTS AND run_apart AND NOT (PREFIXES AND out MATCHES " UND __asan_init"))
    message(SEND_ERROR "${file} runs code before main or at exit: ${run_apart}")
  endif()
endforeach()
list(REMOVE_DUPLICATES calls_seen)
message(STATUS "${files} call ${calls_seen}")
if(NOT PROGRAM)
  return()
endif()

string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]*\\]" entries "${out}")
string(REGEX REPLACE "[^;]*\\[([^];]*)\\]" "\\1" libraries "${entries}")
message(STATUS "${PROGRAM} needs ${libraries}")
# A program without an interpreter is static, whatever made it so.
if(NOT out MATCHES "program interpreter")
  set(NEEDED "")
endif()
foreach(pattern IN LISTS NEEDED)
  list(FILTER libraries EXCLUDE REGEX "^${pattern}$")
endforeach()
list(LENGTH NEEDED wanted)
list(LENGTH entries found)
if(libraries OR NOT wanted EQUAL found)
  message(SEND_ERROR "${PROGRAM} needs ${entries}, not one each of ${NEEDED}")
endif()
if(NOT NEEDED)
  foreach(name getenv secure_getenv open openat fopen socket connect atexit __cxa_atexit)
    if(out MATCHES " ${name}\n")
      message(SEND_ERROR "the static program ${PROGRAM} links ${name}")
    endif()
  endforeach()
endif()
