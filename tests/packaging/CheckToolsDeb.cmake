# Makes the tools' package and the library's, checks them as every package
# of the project is checked (tests/api/CheckDebPackages.cmake), unpacks both
# into a scratch root and checks what an operator installs:
# - the programs, with no RPATH, loading the library from the root and
#   depending on the packages of everything else they load;
# - the bridge's unit in /lib/systemd/system, starting /usr/bin/kelm-md-bridge,
#   clean for systemd-analyze verify (where installed);
# - the example configuration, which the packaged bridge accepts, and the
#   monitoring files.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/debs
  -D "CPACK_COMPONENTS_ALL=deb-runtime;deb-tools" RESULT_VARIABLE result OUTPUT_QUIET)
file(GLOB tools_deb ${WORK_DIR}/debs/kelm-md-tools_${VERSION}_*.deb)
file(GLOB runtime_deb ${WORK_DIR}/debs/libkelmmduserapi-se[0-9]_${VERSION}_*.deb)
if(NOT result EQUAL 0 OR NOT tools_deb OR NOT runtime_deb)
  message(FATAL_ERROR "packaging failed: ${result}")
endif()
set(debs ${tools_deb} ${runtime_deb})
include(${SOURCE_DIR}/tests/api/CheckDebPackages.cmake)

set(root ${WORK_DIR}/root)
foreach(deb IN LISTS debs)
  execute_process(COMMAND dpkg -x ${deb} ${root} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(tools kelm-quote-sim kelm-md-watch kelm-md-bridge)
set(programs "")
foreach(tool IN LISTS tools)
  list(APPEND programs ${root}/usr/bin/${tool})
  execute_process(COMMAND readelf -d ${root}/usr/bin/${tool} OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  if(dynamic MATCHES "R(UN)?PATH")
    message(FATAL_ERROR "${tool} has an RPATH:\n${dynamic}")
  endif()
endforeach()
execute_process(COMMAND ${SOURCE_DIR}/tests/packaging/check-deb-depends ${tools_deb} ${root} ${programs}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message(STATUS "${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the tools' package does not depend on what they load:\n${errors}")
endif()

# From the root, with the library of the root.
set(run env LD_LIBRARY_PATH=${root}/usr/${LIBDIR})
execute_process(COMMAND ${run} ${root}/usr/bin/kelm-md-bridge --version
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT output STREQUAL "kelm-md-bridge ${VERSION} (library V6_6_9)\n")
  message(FATAL_ERROR "kelm-md-bridge --version from the package: ${result}\n${output}${errors}")
endif()
# The example configuration as the packaged bridge reads it: accepted up to
# Redis, which is not there (status 3, not 2 for a bad file).
set(example ${root}/usr/share/doc/kelm-md-tools/examples/bridge-example.conf)
execute_process(COMMAND ${run} ${root}/usr/bin/kelm-md-bridge --config ${example} --redis redis://127.0.0.1:1
  --metrics 127.0.0.1:0 RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 60)
if(NOT result EQUAL 3 OR NOT errors MATCHES "cannot connect to Redis at redis://127.0.0.1:1/0")
  message(FATAL_ERROR "the packaged bridge with the example configuration: ${result}\n${output}${errors}")
endif()
foreach(file share/kelm-md/monitoring/kelm-md-alerts.yml share/kelm-md/monitoring/kelm-md.json)
  if(NOT EXISTS ${root}/usr/${file})
    message(FATAL_ERROR "the package has no /usr/${file}")
  endif()
endforeach()

# The unit: where Debian's packages put theirs, starting the packaged bridge.
set(unit ${root}/lib/systemd/system/kelm-md-bridge@.service)
if(NOT EXISTS ${unit})
  message(FATAL_ERROR "the package has no /lib/systemd/system/kelm-md-bridge@.service")
endif()
file(READ ${unit} text)
if(NOT text MATCHES "\nExecStart=/usr/bin/kelm-md-bridge --config ")
  message(FATAL_ERROR "the unit does not start /usr/bin/kelm-md-bridge:\n${text}")
endif()
if(NOT ANALYZE)
  message("systemd-analyze is not installed: the packaged unit is not verified")
  return()
endif()
# systemd-analyze verify wants the program to exist: a copy of the unit
# names the one unpacked here instead.
string(REPLACE "ExecStart=/usr/bin/" "ExecStart=${root}/usr/bin/" text "${text}")
file(WRITE ${WORK_DIR}/unit/kelm-md-bridge@.service "${text}")
execute_process(COMMAND ${ANALYZE} verify ${WORK_DIR}/unit/kelm-md-bridge@.service RESULT_VARIABLE result
  OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify of the packaged unit (status ${result}):\n${output}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
