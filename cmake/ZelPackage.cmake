# Binary packages of the installed tree (cpack in a build directory):
# a .deb for Debian 12, a .zip for Windows builds. One package holds every
# install component, the way an application developer takes it (the .zip
# has the simulated board's zel.dll in bin/simulated and the capture build's
# in bin/capture).
set(ZEL_PACKAGE_MAINTAINER "The ZEL client library authors <zel-maintainers@example.org>"
  CACHE STRING "Maintainer named in the binary packages")

set(CPACK_PACKAGE_NAME zel)
set(CPACK_PACKAGE_VENDOR "The ZEL client library authors")
set(CPACK_PACKAGE_CONTACT "${ZEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_SOURCE_IGNORE_FILES "/build/;/\\\\.git/")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME zel)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEL_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
  # The package's own libraries (libzelsim needs libzel) are no dependency;
  # dpkg-shlibdeps finds libc6, libstdc++6 and libgcc-s1 from the binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${PROJECT_DESCRIPTION}
 The client library of the ZEL telephony interface boards (libzel.so.2): a
 plain C interface that turns application calls into device-control requests
 to the boards' driver, with result codes and their message catalogue, event
 objects and waits, application event queues and a thin OS layer. Also the
 in-process board simulator (libzelsim.so.2), the static libraries, the
 headers, a CMake package (find_package(zel 2)), pkg-config files and the
 result decoder tool zelresult.")
endif()
include(CPack)
