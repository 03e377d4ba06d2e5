# Runs korvsim on one scenario and compares everything it printed with the
# expected file. Arguments: KORVSIM, SCENARIO, EXPECTED, ACTUAL (where the
# actual output is left for inspection), UPDATE (rewrite EXPECTED instead).
execute_process(COMMAND ${KORVSIM} ${SCENARIO}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(actual "${out}")
if(NOT err STREQUAL "")
  string(APPEND actual "stderr:\n${err}")
endif()
string(APPEND actual "korvsim exit status: ${status}\n")

if(UPDATE)
  file(WRITE ${EXPECTED} "${actual}")
  return()
endif()
file(WRITE ${ACTUAL} "${actual}")
if(NOT EXISTS ${EXPECTED})
  message(FATAL_ERROR "no expected output ${EXPECTED}; the actual output is in ${ACTUAL}")
endif()
file(READ ${EXPECTED} expected)
if(NOT actual STREQUAL expected)
  execute_process(COMMAND diff -u ${EXPECTED} ${ACTUAL})
  message(FATAL_ERROR "korvsim output differs from ${EXPECTED} (actual: ${ACTUAL})")
endif()
