# SPDX-License-Identifier: MIT
# Reads the linked program: the libraries it needs and what it imports from them.
#
#   cmake -D READELF=readelf -D PROGRAM=quarvelt-tc -D NEEDED=regex;... -D CALLS=name;... -D PREFIXES=prefix;...
#         -P imports.cmake
#
# Each library the program needs must match one of NEEDED, and each of NEEDED
# one library.  Each symbol it imports must be one of CALLS, begin with one of
# PREFIXES, or be the C library's start routine or a weak hook of the start
# files (profiling, transactional memory clones, shared-object teardown):
# anything else, such as getenv, a file or socket call, or atexit, fails.  A
# static program imports nothing; its symbol table must lack those calls.
cmake_minimum_required(VERSION 3.18...3.25)
execute_process(COMMAND "${READELF}" -W -d -s "${PROGRAM}" RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "Symbol table")
  message(FATAL_ERROR "${READELF} could not read the symbols of ${PROGRAM} (${status}): ${err}")
endif()

string(REGEX MATCHALL "\\(NEEDED\\)[^[]*\\[[^]]*\\]" entries "${out}")
string(REGEX REPLACE "[^;]*\\[([^];]*)\\]" "\\1" libraries "${entries}")
message(STATUS "NEEDED: ${libraries}")
foreach(pattern IN LISTS NEEDED)
  list(FILTER libraries EXCLUDE REGEX "^${pattern}$")
endforeach()
list(LENGTH NEEDED wanted)
list(LENGTH entries found)
if(libraries OR NOT wanted EQUAL found)
  message(SEND_ERROR "the program needs ${entries}, not one each of ${NEEDED}")
endif()

list(APPEND CALLS __libc_start_main __gmon_start__ __cxa_finalize _ITM_deregisterTMCloneTable
     _ITM_registerTMCloneTable)
list(JOIN PREFIXES "|" prefix_pattern)
if(out MATCHES "Symbol table '.dynsym'")
  string(REGEX MATCHALL " UND [^ @\n]+" imports "${out}")
  list(REMOVE_DUPLICATES imports)
  foreach(symbol IN LISTS imports)
    string(SUBSTRING "${symbol}" 5 -1 name)
    if(NOT name IN_LIST CALLS AND NOT (PREFIXES AND name MATCHES "^(${prefix_pattern})"))
      message(SEND_ERROR "the program imports ${name}")
    endif()
  endforeach()
else()
  foreach(name getenv secure_getenv open openat fopen socket connect atexit __cxa_atexit)
    if(out MATCHES " ${name}\n")
      message(SEND_ERROR "the static program links ${name}")
    endif()
  endforeach()
endif()
