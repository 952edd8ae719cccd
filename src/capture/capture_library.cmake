# Windows: a third zel.dll, the capture build. It is the real library, its
# objects compiled once more with the transport's tap turned on
# (ZEL_CAPTURE, src/lib/capture_tap.h), plus the recorder that writes what
# passes the tap to a cassette. It talks to whatever the real DLL would (the
# driver, a provider the program registered) and changes nothing the program
# sees. The same exports (the same .def) and version resource; built into a
# folder of its own, since it has the real library's file name. The
# ordinary library's objects are untouched: it carries no tap.
set(ZEL_CAPTURE_DIR ${CMAKE_BINARY_DIR}/capture)
zel_glob_sources(ZEL_CAPTURE_RECORDER_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/capture)
add_library(zel_capture SHARED ${ZEL_LIBRARY_SOURCES} ${ZEL_CAPTURE_RECORDER_SOURCES} ${ZEL_DEF_FILE})
target_include_directories(zel_capture PRIVATE ${ZEL_PUBLIC_INCLUDE_DIR} ${ZEL_PRIVATE_INCLUDE_DIRS}
  ${CMAKE_CURRENT_SOURCE_DIR}/capture)
target_compile_definitions(zel_capture PRIVATE ZEL_BUILDING_LIBRARY ZEL_CAPTURE)
target_link_libraries(zel_capture PRIVATE zel_cassette Threads::Threads)
zel_windows_version_resource(zel_capture zel.dll "ZEL client library (capture build)")
set_target_properties(zel_capture PROPERTIES PREFIX "" OUTPUT_NAME zel
  RUNTIME_OUTPUT_DIRECTORY ${ZEL_CAPTURE_DIR} ARCHIVE_OUTPUT_DIRECTORY ${ZEL_CAPTURE_DIR})
target_link_options(zel_capture PRIVATE -static-libgcc -static-libstdc++ -static)
