# Packages (scripts/package runs CPack in a build tree):
# - Windows build: one zip for Windows developers with the DLL (stripped, its
#   debug information in kelmmduserapi_se.dll.debug beside it), both import
#   libraries, the public header, the example application's source, the
#   licence and a short README.
# - Linux build: Debian packages, the runtime package named after the
#   library's SONAME (libkelmmduserapi_se.so.6 -> libkelmmduserapi-se6) with
#   the stripped shared library in the multiarch directory, its -dbgsym
#   package with the debug information (/usr/lib/debug/.build-id), and the
#   -dev package with the header, the linker name, the CMake package files
#   and the pkg-config file; with the tools, kelm-md-tools (the simulator,
#   the watcher, the bridge and its systemd unit); with the Python package,
#   python3-kelmmd (in Debian's dist-packages). Each carries its copyright
#   and changelog, each program's package its -dbgsym package.
set(CPACK_PACKAGE_NAME kelmmduserapi-se)
set(CPACK_PACKAGE_VENDOR "kelmmduserapi_se developers")
set(CPACK_PACKAGE_CONTACT "kelmmduserapi_se developers <kelmmduserapi-se@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Market-data client library: real-time quotes over the BML protocol")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/print_quotes.cpp DESTINATION examples COMPONENT windows-extras)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/README-windows.txt DESTINATION . RENAME README.txt
          COMPONENT windows-extras)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT windows-extras)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kelmmduserapi_se-${PROJECT_VERSION}-win32)
  set(CPACK_COMPONENTS_ALL library windows-extras)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)  # one zip with both
else()
  set(KELM_DEB_RUNTIME libkelmmduserapi-se${PROJECT_VERSION_MAJOR})
  set(KELM_DEB_DEV libkelmmduserapi-se-dev)
  # Debian's changelog, compressed as dpkg expects it (-n: the same bytes on
  # every build). Made when configuring: CPack installs without building.
  set(kelm_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
  execute_process(COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog
    OUTPUT_FILE ${kelm_changelog} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
  # component:package of every package this build makes.
  set(kelm_debs deb-runtime:${KELM_DEB_RUNTIME} deb-dev:${KELM_DEB_DEV})
  if(KELM_DEB_TOOLS)
    list(APPEND kelm_debs deb-tools:${KELM_DEB_TOOLS})
  endif()
  if(KELM_DEB_PYTHON)
    list(APPEND kelm_debs deb-python:${KELM_DEB_PYTHON})
  endif()
  set(CPACK_COMPONENTS_ALL "")
  foreach(deb IN LISTS kelm_debs)
    string(REPLACE ":" ";" deb "${deb}")
    list(GET deb 0 component)
    list(GET deb 1 package)
    list(APPEND CPACK_COMPONENTS_ALL ${component})
    set(only_packaged "")
    if(component MATCHES "^deb-(tools|python)$")
      set(only_packaged EXCLUDE_FROM_ALL)  # not in an install of the whole build
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${kelm_changelog}
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} ${only_packaged})
  endforeach()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEB-RUNTIME_PACKAGE_NAME ${KELM_DEB_RUNTIME})
  set(CPACK_DEBIAN_DEB-RUNTIME_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, libboost-thread1.74.0")
  # CPack strips the library and moves its debug information into the
  # -dbgsym package; the shlibs file lets packages built against it depend
  # on it.
  set(CPACK_DEBIAN_DEB-RUNTIME_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/KelmDebFixup.cmake)
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_NAME ${KELM_DEB_DEV})
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEB-DEV_PACKAGE_DEPENDS "${KELM_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_DEB-RUNTIME_DESCRIPTION "Market-data client library (shared library)")
  set(CPACK_COMPONENT_DEB-DEV_DESCRIPTION "Market-data client library (header, CMake and pkg-config files)")
  # The programs' packages: what they link from Debian comes from
  # dpkg-shlibdeps (it finds this build's library in the build tree and
  # leaves it to the dependency named here).
  get_target_property(kelm_library_dir kelmmduserapi_se BINARY_DIR)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${kelm_library_dir})
  set(kelm_runtime_exactly "${KELM_DEB_RUNTIME} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEB-TOOLS_PACKAGE_NAME ${KELM_DEB_TOOLS})
  set(CPACK_DEBIAN_DEB-TOOLS_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_DEB-TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_DEB-TOOLS_PACKAGE_DEPENDS "${kelm_runtime_exactly}")
  set(CPACK_DEBIAN_DEB-TOOLS_PACKAGE_SUGGESTS "redis-server, prometheus")
  set(CPACK_DEBIAN_DEB-TOOLS_DEBUGINFO_PACKAGE ON)
  set(CPACK_COMPONENT_DEB-TOOLS_DESCRIPTION
    "Market-data tools: quote simulator, watcher, Redis bridge (with its systemd unit)")
  set(CPACK_DEBIAN_DEB-PYTHON_PACKAGE_NAME ${KELM_DEB_PYTHON})
  set(CPACK_DEBIAN_DEB-PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_DEB-PYTHON_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_DEB-PYTHON_PACKAGE_DEPENDS "${kelm_runtime_exactly}, ${KELM_DEB_PYTHON_DEPENDS}")
  set(CPACK_DEBIAN_DEB-PYTHON_DEBUGINFO_PACKAGE ON)
  set(CPACK_COMPONENT_DEB-PYTHON_DESCRIPTION "Market-data client library (Python 3 package kelmmd)")
endif()
include(CPack)
