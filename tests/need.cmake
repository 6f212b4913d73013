# SPDX-License-Identifier: MIT
# need(VAR HINT): VAR becomes the path of the tool it names, else it fails: "TOOL is missing: HINT".
function(need var hint)
  find_program(need_${var} NAMES "${${var}}")
  if(NOT need_${var})
    message(FATAL_ERROR "${${var}} is missing: ${hint}")
  endif()
  set(${var} "${need_${var}}" PARENT_SCOPE)
endfunction()
