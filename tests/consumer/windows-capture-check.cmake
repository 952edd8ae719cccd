# The capture build of zel.dll records a program's session: the consumer,
# built against the installed package as an application developer builds
# it, runs with bin/capture/zel.dll beside it and the simulator registered
# as its board's provider; its cassette (ZEL_CASSETTE) must hold the opens,
# every request by name with its reply, and the wakes of its bound event.
# With -DKEEP=<file> the cassette is copied there (how
# tests/data/windows-consumer.cassette (64-bit) and windows32-consumer.cassette
# (32-bit, from the i686 leg) were made).
#   cmake -DBUILD_DIR=<build> -DCC=<mingw gcc> -DEMULATOR=<wine-run.sh;wine>
#         -DWORK=<scratch folder> [-DKEEP=<file>] -P windows-capture-check.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK}/prefix)
set(folder ${WORK}/run)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${folder})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()
if(NOT EXISTS ${prefix}/bin/capture/zel.dll)
  message(FATAL_ERROR "not installed: bin/capture/zel.dll")
endif()

execute_process(
  COMMAND ${CC} -O2 -Wall -Wextra -Wpedantic -Werror ${CMAKE_CURRENT_LIST_DIR}/main.c
    -I${prefix}/include -L${prefix}/lib -lzel -lzelsim -o ${folder}/consumer.exe
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compiling the consumer failed:\n${errors}")
endif()
file(COPY ${prefix}/bin/capture/zel.dll ${prefix}/bin/zelsim.dll DESTINATION ${folder})

execute_process(COMMAND ${CMAKE_COMMAND} -E env ZEL_CASSETTE=session.cassette ${EMULATOR} consumer.exe
  WORKING_DIRECTORY ${folder} OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer with the capture zel.dll exited with ${status}:\n${output}${errors}")
endif()
if(NOT EXISTS ${folder}/session.cassette)
  message(FATAL_ERROR "no cassette at ZEL_CASSETTE")
endif()
file(STRINGS ${folder}/session.cassette lines)
list(GET lines 0 header)
if(NOT header MATCHES "\"platform\":\"windows-")
  message(FATAL_ERROR "not a Windows cassette: ${header}")
endif()
foreach(expected "\"kind\":\"open\",\"device\":\"ZELDRV\"" "\"op\":\"ZelDrvConnectLib\""
                 "\"op\":\"ZelDrvCreateEventQueue\"" "\"op\":\"ZelDrvGetEventDataEx\"" "\"kind\":\"signal\""
                 "\"kind\":\"wait-end\"" "\"kind\":\"close\"")
  string(FIND "${lines}" "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the cassette has no ${expected}:\n${lines}")
  endif()
endforeach()
if(KEEP)
  file(COPY_FILE ${folder}/session.cassette ${KEEP})
endif()
