# SPDX-License-Identifier: MIT
# Fails naming each file that does not show the report line as every run writes it.
# Usage: cmake -D PATTERN=regex -D FILES=README.md;quarvelt_tc.h -P line_shown.cmake
cmake_minimum_required(VERSION 3.18...3.25)
if(NOT PATTERN OR NOT FILES)
  message(FATAL_ERROR "no line, or no file to look for it in")
endif()
foreach(file IN LISTS FILES)
  file(READ "${file}" text)
  # The whole line, set apart: in code quotes, or on a line of its own.
  if(NOT text MATCHES "(^|[\n\t`])${PATTERN}([\n`]|$)")
    message(SEND_ERROR "${file} does not show the report line")
  endif()
endforeach()
