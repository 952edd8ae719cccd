# An unmodified program on the simulated board: the consumer built with no
# simulator call, linked against the real import library only, runs with the
# installed simulated zel.dll beside it and reaches the board; with the real
# zel.dll beside it, it fails to connect (this machine has no board), which
# shows that the DLL alone made the difference.
#   cmake -DBUILD_DIR=<build> -DCC=<mingw gcc> -DOBJDUMP=<objdump>
#         -DEMULATOR=<wine-run.sh;wine> -DWORK=<scratch folder>
#         -P windows-simulated-check.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK}/prefix)
set(program consumer.exe)
file(REMOVE_RECURSE ${WORK})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()
if(NOT EXISTS ${prefix}/bin/simulated/zel.dll)
  message(FATAL_ERROR "not installed: bin/simulated/zel.dll")
endif()

execute_process(
  COMMAND ${CC} -O2 -Wall -Wextra -Wpedantic -Werror -DCONSUMER_WITHOUT_SIMULATOR ${CMAKE_CURRENT_LIST_DIR}/main.c
    -I${prefix}/include -L${prefix}/lib -lzel -o ${WORK}/${program}
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compiling the consumer failed:\n${errors}")
endif()
execute_process(COMMAND ${OBJDUMP} -p ${WORK}/${program} OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(TOLOWER "${imports}" imports)
foreach(import IN LISTS imports)
  if(NOT import MATCHES "^dll name: (zel|kernel32|msvcrt)\\.dll$")
    message(FATAL_ERROR "${program} ${import}")
  endif()
endforeach()

# run(<folder> <zel.dll to put beside the program>): runs it there.
function(run folder dll)
  file(COPY ${WORK}/${program} ${dll} DESTINATION ${WORK}/${folder})
  execute_process(COMMAND ${EMULATOR} ${program} WORKING_DIRECTORY ${WORK}/${folder}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  message("${folder}: ${output}${errors}")
  set(status ${status} PARENT_SCOPE)
  set(output "${output}${errors}" PARENT_SCOPE)
endfunction()

run(simulated ${prefix}/bin/simulated/zel.dll)
if(NOT status EQUAL 0 OR NOT output MATCHES "enable record received")
  message(FATAL_ERROR "with the simulated zel.dll ${program} exited with ${status}")
endif()
# The program's own failure exit, not a crash: the connect was refused.
run(real ${prefix}/bin/zel.dll)
if(NOT status EQUAL 1 OR NOT output MATCHES "consumer: ZelDrvConnectLib failed: 0x")
  message(FATAL_ERROR "with the real zel.dll ${program} exited with ${status}, not refused at connect")
endif()
