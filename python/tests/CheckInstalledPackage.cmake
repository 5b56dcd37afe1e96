# Installs the build into a scratch prefix as the README says, then runs the
# README's own import command with that prefix in place of /opt/kelm: the
# package must be where the command looks, and the module must load the
# installed shared library through its relative RPATH.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()

execute_process(COMMAND grep -c "^PYTHONPATH=/opt/kelm/" ${README} OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one command with PYTHONPATH=/opt/kelm/ in ${README}, found ${count}")
endif()
execute_process(COMMAND sed -n "s|^PYTHONPATH=/opt/kelm/|PYTHONPATH=${WORK_DIR}/|p" ${README}
  OUTPUT_FILE ${WORK_DIR}/readme-command.sh)
file(READ ${WORK_DIR}/readme-command.sh command)
execute_process(COMMAND env -u LD_LIBRARY_PATH sh ${WORK_DIR}/readme-command.sh
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message(STATUS "$ ${command}${output}${errors}")
if(NOT result EQUAL 0 OR NOT output STREQUAL "V6_6_9\n")
  message(FATAL_ERROR "the README's command failed against the installed package")
endif()

# The same interpreter and path, asked which library the module loaded.
string(REGEX MATCH "^PYTHONPATH=([^ ]+) ([^ ]+) " prefix "${command}")
set(where "import kelmmd; print(*sorted({l.split()[-1] for l in open('/proc/self/maps') if 'libkelmmduserapi_se' in l}))")
execute_process(COMMAND env -u LD_LIBRARY_PATH PYTHONPATH=${CMAKE_MATCH_1} ${CMAKE_MATCH_2} -c "${where}"
  RESULT_VARIABLE result OUTPUT_VARIABLE library OUTPUT_STRIP_TRAILING_WHITESPACE)
string(FIND "${library}" "${WORK_DIR}/" position)
if(NOT result EQUAL 0 OR NOT position EQUAL 0)
  message(FATAL_ERROR "the installed module loaded '${library}', not the installed library")
endif()
