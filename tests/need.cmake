# SPDX-License-Identifier: MIT
# need(VAR HINT): looks up the tool VAR names, as the test runs, and sets VAR to its path; fails
# saying "TOOL is missing: HINT" where it is not there.
function(need var hint)
  find_program(need_${var} NAMES "${${var}}")
  if(NOT need_${var})
    message(FATAL_ERROR "${${var}} is missing: ${hint}")
  endif()
  set(${var} "${need_${var}}" PARENT_SCOPE)
endfunction()
