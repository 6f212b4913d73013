# SPDX-License-Identifier: MIT
# Fails naming each file that does not show the report line as every run writes it.
#
#   cmake -D LINE=report-line.txt -D FILES=README.md;quarvelt_tc.h -P line_shown.cmake
cmake_minimum_required(VERSION 3.18...3.25)
file(STRINGS "${LINE}" line)
string(REGEX REPLACE "([][+.*()^$?|\\\\])" "\\\\\\1" pattern "${line}")
foreach(file IN LISTS FILES)
  file(READ "${file}" text)
  # The whole line, set apart: in code quotes, or on a line of its own.
  if(NOT text MATCHES "(^|[\n\t`])${pattern}([\n`]|$)")
    message(SEND_ERROR "${file} does not show the line \"${line}\"")
  endif()
endforeach()
