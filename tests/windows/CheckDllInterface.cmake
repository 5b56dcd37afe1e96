# kelmmduserapi_se.dll needs nothing but Windows system DLLs, and exports the
# public class and the extension's two entry points and nothing else, under
# the GNU and the Microsoft names.
cmake_minimum_required(VERSION 3.16)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

set(system_dlls kernel32.dll msvcrt.dll ws2_32.dll mswsock.dll advapi32.dll ntdll.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no import table found")
endif()
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  if(NOT lower IN_LIST system_dlls)
    message(FATAL_ERROR "imports ${name}, which is not a Windows system DLL")
  endif()
endforeach()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" entries "${table}")
set(exports "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${entry}")
  list(APPEND exports "${name}")
endforeach()
list(SORT exports)
set(expected
  "??0CKelmRivoMdApi@@QAE@ABV0@@Z"
  "??0CKelmRivoMdApi@@QAE@XZ"
  "??1CKelmRivoMdApi@@IAE@XZ"
  "??4CKelmRivoMdApi@@QAEAAV0@ABV0@@Z"
  "?CreateRivoMdApi@CKelmRivoMdApi@@SAPAV1@PBD_N1@Z"
  "?GetApiVersion@CKelmRivoMdApi@@SAPBDXZ"
  "?FromApi@CKelmRivoMdExtension@@SAPAV1@PAVCKelmRivoMdApi@@@Z"
  "?GetExtensionVersion@CKelmRivoMdExtension@@SAHXZ"
  "_ZN20CKelmRivoMdExtension7FromApiEP14CKelmRivoMdApi"
  "_ZN20CKelmRivoMdExtension19GetExtensionVersionEv"
  "_ZN14CKelmRivoMdApi13GetApiVersionEv"
  "_ZN14CKelmRivoMdApi15CreateRivoMdApiEPKcbb"
  "_ZN14CKelmRivoMdApiC1ERKS_"
  "_ZN14CKelmRivoMdApiC1Ev"
  "_ZN14CKelmRivoMdApiC2ERKS_"
  "_ZN14CKelmRivoMdApiC2Ev"
  "_ZN14CKelmRivoMdApiD1Ev"
  "_ZN14CKelmRivoMdApiD2Ev"
  "_ZN14CKelmRivoMdApiaSERKS_"
  "_ZTI14CKelmRivoMdApi"
  "_ZTV14CKelmRivoMdApi")
list(SORT expected)
if(NOT exports STREQUAL expected)
  string(REPLACE ";" "\n  " shown "${exports}")
  message(FATAL_ERROR "exports differ from the public API:\n  ${shown}")
endif()
list(LENGTH exports count)
message(STATUS "${count} exports as expected; imports: ${imports}")
