# What `cmake --install` puts under the prefix, in these components:
#   runtime      the shared libraries (with their SONAME links), zel.dll and
#                zelsim.dll, the decoder tool, its manual page, the licence
#                and the README
#   development  the public headers, the namelinks and import libraries, the
#                static libraries, the CMake package and the pkg-config files
#   simulated    Windows only: the zel.dll that carries the simulated board,
#                in bin/simulated, to put beside an unmodified program
#   capture      Windows only: the zel.dll that records a cassette of what
#                the driver answered, in bin/capture (docs/cassettes.md)
# The SONAME carries the major version only: it changes when the interface
# breaks, never for a compatible release.
include(CMakePackageConfigHelpers)

set(ZEL_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zel)
set(ZEL_PKGCONFIG_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Consumers name the simulator zel::sim and zel::sim_static, as in the tree.
set_target_properties(zelsim PROPERTIES EXPORT_NAME sim)
set_target_properties(zelsim_static PROPERTIES EXPORT_NAME sim_static)

install(TARGETS zel zelsim EXPORT zelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS zel_static zelsim_static EXPORT zelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
# The tool's exports serve the tests only; its import library is not shipped.
install(PROGRAMS $<TARGET_FILE:zelresult> DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS zelcode RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# Its file only: programs link the real library's import library.
if(TARGET zel_simulated)
  install(PROGRAMS $<TARGET_FILE:zel_simulated> DESTINATION ${CMAKE_INSTALL_BINDIR}/simulated COMPONENT simulated)
endif()
if(TARGET zel_capture)
  install(PROGRAMS $<TARGET_FILE:zel_capture> DESTINATION ${CMAKE_INSTALL_BINDIR}/capture COMPONENT capture)
endif()
# The board service's daemon (POSIX only).
if(TARGET zelsimd)
  install(TARGETS zelsimd zelsim_command RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/man/zelsimd.1 ${PROJECT_SOURCE_DIR}/docs/man/zelsim.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/zel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/zelresult.1 ${PROJECT_SOURCE_DIR}/docs/man/zelcode.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/simulator.md
  ${PROJECT_SOURCE_DIR}/docs/cassettes.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT development)

# The CMake package: find_package(zel 2) accepts any 2.x.
install(EXPORT zelTargets NAMESPACE zel:: DESTINATION ${ZEL_CMAKE_INSTALL_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zelConfig.cmake INSTALL_DESTINATION ${ZEL_CMAKE_INSTALL_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zelConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/zelConfigVersion.cmake
  DESTINATION ${ZEL_CMAKE_INSTALL_DIR} COMPONENT development)

# pkg-config files find the prefix from their own place, so an unpacked
# package or a moved prefix works as well as the installed one.
function(zel_relative_prefix out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${CMAKE_INSTALL_PREFIX}" PARENT_SCOPE)
  else()
    file(RELATIVE_PATH up "/zel-prefix/${dir}" "/zel-prefix")
    string(REGEX REPLACE "/$" "" up "${up}")
    set(${out} "\${pcfiledir}/${up}" PARENT_SCOPE)
  endif()
endfunction()
zel_relative_prefix(ZEL_PC_PREFIX ${ZEL_PKGCONFIG_INSTALL_DIR})
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(ZEL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(ZEL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
foreach(pc zel zel-static zelsim zelsim-static)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/pkgconfig/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${pc}.pc DESTINATION ${ZEL_PKGCONFIG_INSTALL_DIR}
    COMPONENT development)
endforeach()
