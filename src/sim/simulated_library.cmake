# Windows: a second zel.dll that carries the simulated board, for unmodified
# programs. It has the real library's exports (the same .def) and version
# resource, plus the simulator's exports for a test bench, and installs the
# simulator at the first open of its devices. Built into its own folder,
# since it has the real library's file name.
set(ZEL_SIMULATED_DIR ${CMAKE_BINARY_DIR}/simulated)

# The simulator is compiled once more for it: its own functions exported,
# the library's plain calls within the one DLL. The library's objects are
# the real one's; a source of its own puts the installer in the OS layer's
# fallback slot.
set(ZEL_SIMULATED_DLL_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/dll/simulated_dll_win32.cpp)
add_library(zel_simulated SHARED ${ZEL_SIM_SOURCES} ${ZEL_DEF_FILE} ${ZEL_SIMULATED_DLL_SOURCE}
  $<TARGET_OBJECTS:zel_objects> $<TARGET_OBJECTS:zel_cassette_objects>)
target_include_directories(zel_simulated PRIVATE
  ${ZEL_PUBLIC_INCLUDE_DIR} ${ZEL_PROTOCOL_INCLUDE_DIR})
set_source_files_properties(${ZEL_SIMULATED_DLL_SOURCE} PROPERTIES INCLUDE_DIRECTORIES "${ZEL_PRIVATE_INCLUDE_DIRS}")
target_compile_definitions(zel_simulated PRIVATE ZEL_BUILDING_LIBRARY ZELSIM_BUILDING_LIBRARY ZELSIM_BESIDE_LIBRARY)
target_link_libraries(zel_simulated PRIVATE Threads::Threads)
zel_windows_version_resource(zel_simulated zel.dll "ZEL client library")
# Its import library keeps out of the way of the real one's.
set_target_properties(zel_simulated PROPERTIES PREFIX "" OUTPUT_NAME zel
  RUNTIME_OUTPUT_DIRECTORY ${ZEL_SIMULATED_DIR} ARCHIVE_OUTPUT_DIRECTORY ${ZEL_SIMULATED_DIR})
target_link_options(zel_simulated PRIVATE -static-libgcc -static-libstdc++ -static)
