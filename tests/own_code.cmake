# SPDX-License-Identifier: MIT
# Reads the program's own objects: what they call, and that nothing of theirs runs before main or at exit.
#
#   cmake -D READELF=readelf -D OBJECTS=a.o;b.a -D CALLS=name;... -D PREFIXES=prefix;... -P own_code.cmake
#
# Every symbol the objects leave undefined must be one of CALLS or begin with
# one of PREFIXES, and none may have a section that the start code or the exit
# path runs: .init_array, .ctors, .fini_array or .dtors.  A sanitizer adds a
# constructor of its own to each object it instruments; where it has, the
# sections are left to the other builds, which compile the same code.
cmake_minimum_required(VERSION 3.18...3.25)
if(NOT OBJECTS)
  message(FATAL_ERROR "no objects to read")
endif()
set(calls_seen "")
# The prefixes are plain names, so they join into one pattern as they stand.
list(JOIN PREFIXES "|" prefix_pattern)
foreach(object IN LISTS OBJECTS)
  execute_process(COMMAND "${READELF}" -W -S -s "${object}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "Symbol table")
    message(FATAL_ERROR "${READELF} could not read the symbols of ${object} (${status}): ${err}")
  endif()
  string(REGEX MATCHALL " UND [^ \n]+" undefined "${out}")
  foreach(symbol IN LISTS undefined)
    string(SUBSTRING "${symbol}" 5 -1 name)
    list(APPEND calls_seen "${name}")
    if(NOT name IN_LIST CALLS AND NOT (PREFIXES AND name MATCHES "^(${prefix_pattern})"))
      message(SEND_ERROR "${object} calls ${name}")
    endif()
  endforeach()
  string(REGEX MATCHALL "[.a-z]*\\.(init_array|ctors|fini_array|dtors)[.0-9]*" run_apart "${out}")
  list(JOIN run_apart ", " run_apart)
  if(run_apart AND NOT out MATCHES " UND __asan_init")
    message(SEND_ERROR "${object} runs code before main or at exit: ${run_apart}")
  endif()
endforeach()
list(REMOVE_DUPLICATES calls_seen)
message(STATUS "the program's own code calls ${calls_seen}")
