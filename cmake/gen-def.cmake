# Writes the module-definition file of the Windows library and tool:
#   cmake -DHEADER=zel.h [-DADDITIONS=zelnames.h] -DNM=<nm> -DOBJECTS_FILE=<list>
#         -DDECORATED=ON|OFF -DOUTPUT=zel.def -P gen-def.cmake
# The names come from the public header and the additions' header; the stdcall decorations (@N, 32-bit
# only) from the compiled objects, so neither can drift. A second name is
# exported as another name of its first function, not of a copy. Functions
# not yet defined in the objects are left out; the export check reports them.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/ZelInterface.cmake)
zel_read_full_interface(${HEADER} "${ADDITIONS}" names aliases)

file(READ ${OBJECTS_FILE} objects)
string(STRIP "${objects}" objects)
execute_process(COMMAND ${NM} -g --defined-only ${objects}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed")
endif()
string(REPLACE "\n" ";" symbols "${symbols}")
foreach(line IN LISTS symbols)
  # 32-bit: "00000000 T _ZelSuccess@4"; 64-bit: "0000000000000000 T ZelSuccess".
  if(line MATCHES "^[0-9a-fA-F]+ T _?([A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?$")
    set(symbol_${CMAKE_MATCH_1} "${CMAKE_MATCH_1}${CMAKE_MATCH_2}")
  endif()
endforeach()

set(first_of)
foreach(pair IN LISTS aliases)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 second)
  list(GET pair 1 first)
  set(first_of_${second} ${first})
endforeach()

set(exports)
set(content "; Generated from zel.h and zelnames.h by cmake/gen-def.cmake. Do not edit.\nEXPORTS\n")
foreach(name IN LISTS names)
  set(target ${name})
  if(DEFINED first_of_${name})
    set(target ${first_of_${name}})
  endif()
  if(NOT DEFINED symbol_${target})
    continue()
  endif()
  set(symbol ${symbol_${target}})
  set(decoration "")
  if(symbol MATCHES "(@[0-9]+)$")
    set(decoration ${CMAKE_MATCH_1})
  endif()
  if(DECORATED AND decoration STREQUAL "")
    message(FATAL_ERROR "${symbol} has no stdcall decoration")
  endif()
  list(APPEND exports ${name})
  set(line_of_${name} "${name} = ${symbol}")
  if(DECORATED AND name STREQUAL target)
    list(APPEND exports ${symbol})
    set(line_of_${symbol} "${symbol}")
  elseif(DECORATED)
    list(APPEND exports ${name}${decoration})
    set(line_of_${name}${decoration} "${name}${decoration} = ${symbol}")
  endif()
endforeach()

# Ordinals are written down, numbered in the order of the names (the order
# the linker would number them in), so that a DLL exporting more names than
# these (the simulated board's zel.dll) still gives each the same ordinal.
set(sorted ${exports})
list(SORT sorted)
foreach(export IN LISTS exports)
  list(FIND sorted ${export} index)
  math(EXPR ordinal "${index} + 1")
  string(APPEND content "    ${line_of_${export}} @${ordinal}\n")
endforeach()

if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE ${OUTPUT} "${content}")
