# Fails when the shared library exports anything but the public API.
execute_process(COMMAND nm -D --defined-only -C ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
set(count 0)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # "<address> <type> <name>"
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
  if(name MATCHES "^CKelmRivoMdApi::"
     OR name MATCHES "^(typeinfo|typeinfo name|vtable) for CKelmRivo(MdApi|MdCallback)$"
     OR name STREQUAL "CKelmRivoMdExtension::FromApi(CKelmRivoMdApi*)"
     OR name STREQUAL "CKelmRivoMdExtension::GetExtensionVersion()")
    math(EXPR count "${count} + 1")
  else()
    message(FATAL_ERROR "unexpected exported symbol: ${line}")
  endif()
endforeach()
if(NOT symbols MATCHES "CKelmRivoMdExtension::FromApi" OR NOT symbols MATCHES "CKelmRivoMdExtension::GetExtensionVersion")
  message(FATAL_ERROR "the extension's entry points are not exported:\n${symbols}")
endif()
if(count LESS 9)
  message(FATAL_ERROR "only ${count} public symbols exported:\n${symbols}")
endif()
message(STATUS "${count} public symbols, nothing else")
