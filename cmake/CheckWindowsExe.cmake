# Checks a built bin2dd.exe: it imports only the system's own DLLs (everything
# else is linked statically) and embeds the manifest that asks to run as the
# invoking user, with UTF-8 as its code page and long paths. Run as: cmake -DEXE=... -DOBJDUMP=... -P CheckWindowsExe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "no imported DLLs found in ${EXE}")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\\.dll$")
    message(FATAL_ERROR "${EXE} needs ${dll}, which Windows does not ship")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

file(STRINGS ${EXE} levels REGEX "requestedExecutionLevel")
if(NOT levels MATCHES "level=\"asInvoker\"" OR NOT levels MATCHES "uiAccess=\"false\"")
  message(FATAL_ERROR "${EXE} carries no asInvoker manifest")
endif()
message(STATUS "manifest: ${levels}")

# UTF-8 as the process's code page, so that every file name opens, and long
# paths.
file(STRINGS ${EXE} settings REGEX "activeCodePage|longPathAware")
if(NOT settings MATCHES "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>")
  message(FATAL_ERROR "${EXE} does not ask for UTF-8 as its code page")
endif()
if(NOT settings MATCHES "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>")
  message(FATAL_ERROR "${EXE} is not long-path aware")
endif()
message(STATUS "manifest: ${settings}")
