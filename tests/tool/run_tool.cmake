# Runs the decoder tool with INPUT on its standard input and compares its
# standard output with EXPECTED byte for byte; the exit status must be 0.
execute_process(
  COMMAND ${EMULATOR} ${TOOL}
  INPUT_FILE ${INPUT}
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}, expected 0\n${errors}")
endif()
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output differs\n--- expected\n${expected}\n--- actual\n${actual}")
endif()
