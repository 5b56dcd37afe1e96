# Installs the build into a scratch prefix as the README says, then imports
# the package from there with PYTHONPATH alone: the module must load the
# installed shared library through its relative RPATH.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
set(check "import kelmmd; print(kelmmd.version()); print(*sorted({l.split()[-1] for l in open('/proc/self/maps') if 'libkelmmduserapi_se' in l}))")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH PYTHONPATH=${WORK_DIR}/${SITE}
                        ${PYTHON} -c "${check}"
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "${output}")
string(REPLACE "\n" ";" lines "${output}")
list(GET lines 0 version)
list(GET lines 1 library)
if(NOT result EQUAL 0 OR NOT version STREQUAL "V6_6_9")
  message(FATAL_ERROR "importing the installed package failed")
endif()
string(FIND "${library}" "${WORK_DIR}/" position)
if(NOT position EQUAL 0)
  message(FATAL_ERROR "the installed module loaded ${library}, not the installed library")
endif()
