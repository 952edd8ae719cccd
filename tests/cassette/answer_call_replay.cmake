# examples/answer_call recorded in-process against the simulated board, then
# replayed RUNS times with no board: each replay must exit 0 having served
# every recorded request in order, and print what the recorded run printed.
# Then the program built with another digit time-out (one word of one
# request differs) must stop at that request, naming it, the closest
# recorded request and the word.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} --record ${CASSETTE}
  OUTPUT_VARIABLE recorded ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "recording: exit status ${status}\n${recorded}${errors}")
endif()
# The application's own lines; the test bench's report is not the application's.
string(REGEX MATCHALL "answer_call: [^\n]*" expected "${recorded}")
if(expected STREQUAL "")
  message(FATAL_ERROR "the recorded run printed nothing of the application's:\n${recorded}")
endif()

foreach(run RANGE 1 ${RUNS})
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} --replay ${CASSETTE}
    OUTPUT_VARIABLE replayed ERROR_VARIABLE errors RESULT_VARIABLE status)
  string(REGEX MATCHALL "answer_call: [^\n]*" actual "${replayed}")
  if(NOT status EQUAL 0 OR NOT actual STREQUAL expected)
    message(FATAL_ERROR "replay ${run}: exit status ${status}\n--- expected\n${expected}\n--- actual\n${replayed}${errors}")
  endif()
endforeach()

execute_process(COMMAND ${EMULATOR} ${CHANGED} --replay ${CASSETTE}
  OUTPUT_VARIABLE diverged ERROR_VARIABLE errors RESULT_VARIABLE status)
# The changed program arms its timer with 4000 ms (a00f0000) where the
# recording armed it with 5000 ms (88130000).
foreach(pattern
    "replay: request [0-9]+ of the program is not in the cassette"
    "sent:    ZelDrvSetAttributeValue hObject=0x[0-9A-F]+ nAttribId=[0-9]+ cbAttribValue=4 pAttribValue=a00f0000"
    "closest: seq [0-9]+ \\(line [0-9]+\\) ZelDrvSetAttributeValue hObject=0x[0-9A-F]+ nAttribId=[0-9]+ cbAttribValue=4 pAttribValue=88130000"
    "pAttribValue: sent a00f0000, recorded 88130000")
  if(NOT diverged MATCHES "${pattern}")
    message(FATAL_ERROR "changed program: no \"${pattern}\" (exit status ${status})\n${diverged}${errors}")
  endif()
endforeach()
if(NOT status EQUAL 1)
  message(FATAL_ERROR "changed program: exit status ${status}, expected 1\n${diverged}")
endif()

# The tools (where the service's control command is built): the changed
# program's own recording departs from the first at the same word.
if(ZELSIM)
  execute_process(COMMAND ${CHANGED} --record ${CASSETTE}.changed OUTPUT_QUIET RESULT_VARIABLE status)
  execute_process(COMMAND ${ZELSIM} cassette diff ${CASSETTE} ${CASSETTE}.changed
    OUTPUT_VARIABLE diff RESULT_VARIABLE status)
  if(NOT status EQUAL 1 OR NOT diff MATCHES "the requests differ at request [0-9]+: A seq [0-9]+ \\(line [0-9]+\\), B seq"
     OR NOT diff MATCHES "\n  pAttribValue: A 88130000, B a00f0000\n")
    message(FATAL_ERROR "cassette diff: exit status ${status}\n${diff}")
  endif()
  execute_process(COMMAND ${ZELSIM} cassette stats ${CASSETTE} OUTPUT_VARIABLE stats RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT stats MATCHES "ZelDrvSetAttributeValue +[1-9]")
    message(FATAL_ERROR "cassette stats: exit status ${status}\n${stats}")
  endif()
  # show decodes as the trace does: attribute ids by name, records by code.
  execute_process(COMMAND ${ZELSIM} cassette show ${CASSETTE} OUTPUT_VARIABLE shown RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT shown MATCHES "ZelDrvSetAttributeValue hObject=0x[0-9A-F]+ nAttribId=47 \\(DEV_TIMER\\)"
     OR NOT shown MATCHES "record={#[0-9]+ at [0-9.]+: [^}]*DTMF digit received")
    message(FATAL_ERROR "cassette show: exit status ${status}\n${shown}")
  endif()
  file(WRITE ${CASSETTE}.bad "{\"cassette\":1,\"library\":\"x\",\"platform\":\"y\",\"wordSize\":8,\"framing\":\"device-control\"}\n{}\n")
  execute_process(COMMAND ${ZELSIM} cassette show ${CASSETTE}.bad ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 1 OR NOT errors STREQUAL "${CASSETTE}.bad:2: \"seq\" is missing\n")
    message(FATAL_ERROR "cassette show of a bad file: exit status ${status}\n${errors}")
  endif()
endif()
