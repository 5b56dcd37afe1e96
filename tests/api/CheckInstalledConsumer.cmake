# Installs the build into a scratch prefix, then configures, builds and runs a
# separate application against it through find_package, and (natively) once
# more compiled with the flags pkg-config gives. TOOLCHAIN and EMULATOR, when
# given, cross-compile the application and run it (Windows: beside the
# installed DLL, under Wine).
# With CPACK given, the build is packaged as Debian packages instead, their
# contents checked (CheckDebPackages.cmake), and they are unpacked into a
# scratch root (dpkg -x) to install it. LIBDIR: where the library lies under
# the prefix.
file(REMOVE_RECURSE ${WORK_DIR})
if(CPACK)
  execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/debs
    -D "CPACK_COMPONENTS_ALL=deb-runtime;deb-dev" RESULT_VARIABLE result OUTPUT_QUIET)
  file(GLOB debs ${WORK_DIR}/debs/*.deb)
  list(LENGTH debs count)
  if(NOT result EQUAL 0 OR NOT count EQUAL 2)
    message(FATAL_ERROR "packaging failed: ${result}, packages: ${debs}")
  endif()
  include(${CMAKE_CURRENT_LIST_DIR}/CheckDebPackages.cmake)
  foreach(deb IN LISTS debs)
    execute_process(COMMAND dpkg -x ${deb} ${WORK_DIR}/root RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "dpkg -x ${deb} failed")
    endif()
  endforeach()
  set(prefix ${WORK_DIR}/root/usr)
  set(libdir ${prefix}/${LIBDIR})
  # The .pc file says /usr: pkg-config puts the scratch root before it.
  set(pkg_config_env PKG_CONFIG_SYSROOT_DIR=${WORK_DIR}/root PKG_CONFIG_LIBDIR=${libdir}/pkgconfig)
else()
  set(prefix ${WORK_DIR}/prefix)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed")
  endif()
  set(libdir ${prefix}/${LIBDIR})
  set(pkg_config_env PKG_CONFIG_LIBDIR=${libdir}/pkgconfig)
endif()
set(toolchain "")
if(TOOLCHAIN)
  # The cross toolchain searches its own root only: name the package's folder.
  set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -Dkelmmduserapi_se_DIR=${prefix}/lib/cmake/kelmmduserapi_se)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build ${toolchain}
    -DCMAKE_PREFIX_PATH=${prefix} "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${CONSUMER_FLAGS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "configuring the consumer failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the consumer failed")
endif()
file(GLOB runtime ${prefix}/bin/*.dll)
if(runtime)
  file(COPY ${runtime} DESTINATION ${WORK_DIR}/build)
endif()
set(consumers "")
foreach(program consumer session_consumer)
  file(GLOB consumer ${WORK_DIR}/build/${program} ${WORK_DIR}/build/${program}.exe)
  list(APPEND consumers ${consumer})
endforeach()

if(NOT TOOLCHAIN)
  execute_process(COMMAND env ${pkg_config_env} pkg-config --cflags --libs kelmmduserapi_se
    RESULT_VARIABLE result OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(found "")
  foreach(flag IN LISTS flags)
    if(flag MATCHES "^-[IL](.*)")
      get_filename_component(path "${CMAKE_MATCH_1}" REALPATH)
      list(APPEND found "${path}")
    endif()
  endforeach()
  if(NOT result EQUAL 0 OR NOT found STREQUAL "${prefix}/include;${libdir}")
    message(FATAL_ERROR "pkg-config does not point into ${prefix}: ${result} '${flags}'")
  endif()
  separate_arguments(consumer_flags UNIX_COMMAND "${CONSUMER_FLAGS}")
  list(APPEND flags ${consumer_flags})
  execute_process(COMMAND c++ ${SOURCE_DIR}/main.cpp ${flags} -Wl,-rpath,${libdir} -o ${WORK_DIR}/pkg-config-consumer
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "building the consumer with pkg-config's flags failed")
  endif()
  list(APPEND consumers ${WORK_DIR}/pkg-config-consumer)
endif()

foreach(program IN LISTS consumers)
  execute_process(COMMAND ${EMULATOR} ${program} RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message(STATUS "${program}: ${output}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} failed: ${result}")
  endif()
endforeach()
