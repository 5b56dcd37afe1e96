# Installs the build into a scratch prefix, moves the prefix elsewhere, and
# runs the installed tools from there: they must find the installed library
# by themselves, relative to where they are.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/installed
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed")
endif()
file(RENAME ${WORK_DIR}/installed ${WORK_DIR}/moved)
set(bin ${WORK_DIR}/moved/bin)

# Every tool answers --help and --version; the tools that load the library
# name the version of the one they loaded.
foreach(tool kelm-md-watch kelm-quote-sim kelm-md-bridge)
  execute_process(COMMAND ${bin}/${tool} --help RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0 OR NOT output MATCHES "Usage: ${tool}")
    message(FATAL_ERROR "${tool} --help from the moved prefix: ${result}\n${output}")
  endif()
  set(expected "${tool} ${VERSION} \\(library V6_6_9\\)\n")
  if(tool STREQUAL "kelm-quote-sim")
    set(expected "${tool} ${VERSION}\n")
  endif()
  execute_process(COMMAND ${bin}/${tool} --version RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0 OR NOT output MATCHES "^${expected}$" OR NOT errors STREQUAL "")
    message(FATAL_ERROR "${tool} --version from the moved prefix: ${result}\n${output}${errors}")
  endif()
endforeach()

execute_process(COMMAND ${bin}/kelm-md-watch --count 2 --format csv au2406
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 60)
if(NOT result EQUAL 0 OR NOT output MATCHES "\nau2406,SIMX,[^\n]*\nau2406,SIMX,")
  message(FATAL_ERROR "the installed watcher did not watch: ${result}\n${output}\n${errors}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
