# Runs zelcode for one case and checks what it did:
#   cmake -DTOOL=<zelcode> -DEMULATOR=<runner or empty> -DCASE=<cases/name> -P run_zelcode.cmake
# <name>.args holds key=value lines: status (the exit status), args (the
# command line; @CASES@ stands for the cases' folder), and optionally stderr
# (text standard error must hold), original (a log: standard output less its
# annotation lines must be this file byte for byte) and json (code or log:
# standard output must be a JSON array whose objects all have the keys of that
# mode). <name>.in, when present, is standard input; <name>.out, when present,
# is the whole expected standard output.
get_filename_component(cases ${CASE} DIRECTORY)
file(STRINGS ${CASE}.args settings)
set(args "")
foreach(setting IN LISTS settings)
  if(setting MATCHES "^([a-z]+)=(.*)$")
    set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()
string(REPLACE "@CASES@" "${cases}" args "${args}")
if(DEFINED original)
  string(REPLACE "@CASES@" "${cases}" original "${original}")
endif()
separate_arguments(args UNIX_COMMAND "${args}")

set(input_option)
if(EXISTS ${CASE}.in)
  set(input_option INPUT_FILE ${CASE}.in)
endif()
execute_process(
  COMMAND ${EMULATOR} ${TOOL} ${args}
  ${input_option}
  OUTPUT_VARIABLE actual
  ERROR_VARIABLE errors
  RESULT_VARIABLE exit_status)

set(problems)
if(NOT exit_status STREQUAL status)
  list(APPEND problems "exit status ${exit_status}, expected ${status}")
endif()
if(DEFINED stderr)
  string(FIND "${errors}" "${stderr}" at)
  if(at EQUAL -1)
    list(APPEND problems "standard error lacks \"${stderr}\"")
  endif()
endif()
if(EXISTS ${CASE}.out)
  file(READ ${CASE}.out expected)
  if(NOT actual STREQUAL expected)
    list(APPEND problems "output differs\n--- expected\n${expected}\n--- actual\n${actual}")
  endif()
endif()
if(DEFINED original)
  # An annotation is a whole line of its own right after the annotated one.
  file(READ ${original} log)
  string(REGEX REPLACE "\n#zelcode: [^\n]*" "" stripped "${actual}")
  if(NOT stripped STREQUAL log)
    list(APPEND problems "output less its annotations is not the log\n--- log\n${log}\n--- stripped\n${stripped}")
  endif()
endif()
if(DEFINED json)
  set(keys code hex kind severity error_code error_name source_id source_name line text)
  if(json STREQUAL "log")
    list(APPEND keys line_number column)
  endif()
  string(JSON count ERROR_VARIABLE json_error LENGTH "${actual}")
  if(json_error)
    list(APPEND problems "not a JSON array: ${json_error}")
  elseif(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE 0 ${last})
      foreach(key IN LISTS keys)
        string(JSON value ERROR_VARIABLE json_error GET "${actual}" ${index} ${key})
        if(json_error)
          list(APPEND problems "object ${index} lacks ${key}")
        endif()
      endforeach()
    endforeach()
  endif()
endif()
if(problems)
  list(JOIN problems "\n" text)
  message(FATAL_ERROR "${text}\n--- standard error\n${errors}")
endif()
