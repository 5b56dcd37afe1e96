# systemd-analyze verify on the bridge's unit, in the copy whose ExecStart
# names the bridge built here (verify wants the program to exist). A
# warning is a failure too: verify reports unknown keys and bad values but
# exits 0 for them.
if(NOT ANALYZE)
  message("systemd-analyze is not installed: the service unit is not verified")
  return()
endif()
execute_process(COMMAND ${ANALYZE} verify ${UNIT} RESULT_VARIABLE result OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify ${UNIT} (status ${result}):\n${output}")
endif()
