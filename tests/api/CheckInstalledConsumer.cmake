# Installs the build into a scratch prefix, then configures, builds and runs a
# separate application against it through find_package. TOOLCHAIN and
# EMULATOR, when given, cross-compile the application and run it (Windows:
# beside the installed DLL, under Wine).
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component library
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
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
file(GLOB consumer ${WORK_DIR}/build/consumer ${WORK_DIR}/build/consumer.exe)
execute_process(COMMAND ${EMULATOR} ${consumer} RESULT_VARIABLE result
  OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the consumer failed: ${result}")
endif()
