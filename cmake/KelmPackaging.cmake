# Packages (scripts/package runs CPack in a build tree):
# - Windows build: one zip for Windows developers with the DLL, both import
#   libraries, the public header, the example application's source and a
#   short README.
# - Linux build: two Debian packages, the runtime package named after the
#   library's SONAME (libkelmmduserapi_se.so.6 -> libkelmmduserapi-se6) with
#   the shared library, and the -dev package with the header, the linker
#   name and the CMake package files.
set(CPACK_PACKAGE_NAME kelmmduserapi-se)
set(CPACK_PACKAGE_VENDOR "kelmmduserapi_se developers")
set(CPACK_PACKAGE_CONTACT "kelmmduserapi_se developers <kelm@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Market-data client library: real-time quotes over the BML protocol")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/print_quotes.cpp DESTINATION examples COMPONENT windows-extras)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt
          COMPONENT windows-extras)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kelmmduserapi_se-${PROJECT_VERSION}-win32)
  set(CPACK_COMPONENTS_ALL library windows-extras)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)  # one zip with both
else()
  set(KELM_DEB_RUNTIME libkelmmduserapi-se${PROJECT_VERSION_MAJOR})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL deb-runtime deb-dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEB-RUNTIME_PACKAGE_NAME ${KELM_DEB_RUNTIME})
  set(CPACK_DEBIAN_DEB-RUNTIME_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libboost-thread1.74.0")
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_NAME libkelmmduserapi-se-dev)
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_DEPENDS "${KELM_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_DEB-RUNTIME_DESCRIPTION "Market-data client library (shared library)")
  set(CPACK_COMPONENT_DEB-DEV_DESCRIPTION "Market-data client library (header and CMake package files)")
endif()
include(CPack)
