# The consumer on Windows, as an application developer builds it: install
# the build into a fresh prefix, compile main.c with the mingw compiler
# against it, put zel.dll and zelsim.dll beside the program and run it.
#   cmake -DBUILD_DIR=<build> -DCC=<mingw gcc> -DOBJDUMP=<objdump>
#         -DEMULATOR=<wine-run.sh;wine> -DWORK=<scratch folder>
#         -P windows-check.cmake
cmake_minimum_required(VERSION 3.25)
set(prefix ${WORK}/prefix)
set(program ${WORK}/consumer.exe)
file(REMOVE_RECURSE ${WORK})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install into ${prefix} failed")
endif()
foreach(file bin/zel.dll bin/zelsim.dll bin/zelresult.exe lib/libzel.dll.a lib/libzelsim.dll.a
             lib/libzel_static.a lib/libzelsim_static.a include/zel/zel.h lib/cmake/zel/zelConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(
  COMMAND ${CC} -O2 -Wall -Wextra -Wpedantic -Werror ${CMAKE_CURRENT_LIST_DIR}/main.c
    -I${prefix}/include -L${prefix}/lib -lzel -lzelsim -o ${program}
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "compiling the consumer failed:\n${errors}")
endif()
file(COPY ${prefix}/bin/zel.dll ${prefix}/bin/zelsim.dll DESTINATION ${WORK})

# Beside the program it needs these two DLLs and the system's own only.
execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(TOLOWER "${imports}" imports)
foreach(import IN LISTS imports)
  if(NOT import MATCHES "^dll name: (zel|zelsim|kernel32|msvcrt)\\.dll$")
    message(FATAL_ERROR "consumer.exe ${import}")
  endif()
endforeach()

execute_process(COMMAND ${EMULATOR} ${program} WORKING_DIRECTORY ${WORK}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
message("${output}${errors}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "consumer.exe exited with ${status}")
endif()
