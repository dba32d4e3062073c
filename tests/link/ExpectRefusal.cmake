# Runs TOOL INPUT OUTPUT and passes only when the tool refuses the input for the reason
# expected: exit status 1, REASON in its message, and OUTPUT not written. (A test that passed
# on any failure would pass on a crash or a mistyped path, too.)
file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${TOOL}" "${INPUT}" "${OUTPUT}" RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_VARIABLE out)
if(NOT rc STREQUAL "1")
  message(FATAL_ERROR "expected exit status 1, got \"${rc}\": ${err}${out}")
endif()
if(NOT err MATCHES "${REASON}")
  message(FATAL_ERROR "expected \"${REASON}\" in: ${err}")
endif()
if(EXISTS "${OUTPUT}")
  message(FATAL_ERROR "${OUTPUT} was written although the input was refused")
endif()
