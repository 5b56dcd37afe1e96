# Installs the build into a scratch prefix, then configures, builds and runs a
# separate application against it through find_package. TOOLCHAIN and
# EMULATOR, when given, cross-compile the application and run it (Windows:
# beside the installed DLL, under Wine).
# With CPACK given, the build is packaged as Debian packages instead and
# they are unpacked into a scratch root (dpkg -x) to install it.
file(REMOVE_RECURSE ${WORK_DIR})
if(CPACK)
  execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/debs
    RESULT_VARIABLE result OUTPUT_QUIET)
  file(GLOB debs ${WORK_DIR}/debs/*.deb)
  list(LENGTH debs count)
  if(NOT result EQUAL 0 OR NOT count EQUAL 2)
    message(FATAL_ERROR "packaging failed: ${result}, packages: ${debs}")
  endif()
  foreach(deb IN LISTS debs)
    execute_process(COMMAND dpkg -x ${deb} ${WORK_DIR}/root RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "dpkg -x ${deb} failed")
    endif()
  endforeach()
  set(prefix ${WORK_DIR}/root/usr)
else()
  set(prefix ${WORK_DIR}/prefix)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "install failed")
  endif()
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
foreach(program consumer session_consumer)
  file(GLOB consumer ${WORK_DIR}/build/${program} ${WORK_DIR}/build/${program}.exe)
  execute_process(COMMAND ${EMULATOR} ${consumer} RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message(STATUS "${output}")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} failed: ${result}")
  endif()
endforeach()
