# Windows builds (mingw-w64): the module-definition file that names the
# library's exports, the check of the export tables, and the tests that the
# emulator cannot run on this host.
set(ZEL_DEF_FILE ${CMAKE_BINARY_DIR}/zel.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZEL_STDCALL_DECORATED ON)
else()
  set(ZEL_STDCALL_DECORATED OFF)
endif()

# zel_windows_def(<object library>): the rule that writes ${ZEL_DEF_FILE}
# from the public header and the object library's symbols.
function(zel_windows_def objects_target)
  set(objects_file ${CMAKE_BINARY_DIR}/zel_def_objects.txt)
  file(GENERATE OUTPUT ${objects_file} CONTENT "$<TARGET_OBJECTS:${objects_target}>")
  add_custom_command(OUTPUT ${ZEL_DEF_FILE}
    COMMAND ${CMAKE_COMMAND}
      -DHEADER=${PROJECT_SOURCE_DIR}/include/zel/zel.h
      -DADDITIONS=${PROJECT_SOURCE_DIR}/include/zel/zelnames.h
      -DNM=${CMAKE_NM}
      -DOBJECTS_FILE=${objects_file}
      -DDECORATED=${ZEL_STDCALL_DECORATED}
      -DOUTPUT=${ZEL_DEF_FILE}
      -P ${PROJECT_SOURCE_DIR}/cmake/gen-def.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/include/zel/zel.h ${PROJECT_SOURCE_DIR}/include/zel/zelnames.h
      ${PROJECT_SOURCE_DIR}/cmake/gen-def.cmake
      ${PROJECT_SOURCE_DIR}/cmake/ZelInterface.cmake $<TARGET_OBJECTS:${objects_target}>
    COMMENT "Generating zel.def"
    VERBATIM)
endfunction()

# zel_add_windows_export_test(<target> [ALSO_EXPORTS_OF <target>]
#                             [SAME_ORDINALS_AS <target>]): a test that the
# target's export table is exactly the public interface and this library's
# additions, plus every export of ALSO_EXPORTS_OF, and that every export of
# SAME_ORDINALS_AS has the same ordinal in it.
function(zel_add_windows_export_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ALSO_EXPORTS_OF;SAME_ORDINALS_AS" "")
  set(others)
  foreach(option ALSO_EXPORTS_OF SAME_ORDINALS_AS)
    if(arg_${option})
      list(APPEND others "-D${option}=$<TARGET_FILE:${arg_${option}}>")
    endif()
  endforeach()
  add_test(NAME windows_exports_${target}
    COMMAND ${CMAKE_COMMAND}
      -DHEADER=${PROJECT_SOURCE_DIR}/include/zel/zel.h
      -DADDITIONS=${PROJECT_SOURCE_DIR}/include/zel/zelnames.h
      -DOBJDUMP=${CMAKE_OBJDUMP}
      -DBINARY=$<TARGET_FILE:${target}>
      -DDECORATED=${ZEL_STDCALL_DECORATED}
      ${others}
      -P ${PROJECT_SOURCE_DIR}/cmake/check-exports.cmake)
endfunction()

# zel_mark_emulator_skips(): the tests of the current directory count as
# skipped, not failed, when cmake/wine-run.sh finds that Wine cannot run.
function(zel_mark_emulator_skips)
  get_property(tests DIRECTORY PROPERTY TESTS)
  if(tests)
    set_tests_properties(${tests} PROPERTIES SKIP_REGULAR_EXPRESSION "ZEL_SKIP:")
  endif()
endfunction()

# zel_windows_version_resource(<target> <file name> <description>): the
# version resource (FileVersion and ProductVersion from the project version)
# linked into a DLL or EXE. Resources add no exports.
function(zel_windows_version_resource target file_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(ZEL_RC_FILE_TYPE VFT_APP)
  else()
    set(ZEL_RC_FILE_TYPE VFT_DLL)
  endif()
  set(ZEL_RC_FILE_NAME ${file_name})
  set(ZEL_RC_DESCRIPTION "${description}")
  get_filename_component(ZEL_RC_INTERNAL_NAME ${file_name} NAME_WE)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
