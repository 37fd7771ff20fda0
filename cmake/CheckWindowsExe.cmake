# Checks a built bin2dd.exe: it imports only the system's own DLLs (everything
# else is linked statically), states Windows Vista (6.0) as the oldest system
# it runs on, and embeds the manifest that asks to run as the invoking user,
# with UTF-8 as its code page, long paths and the project's version.
# Run as: cmake -DEXE=... -DOBJDUMP=... -DVERSION=... -P CheckWindowsExe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()

foreach(field MajorSubsystemVersion=6 MinorSubsystemVersion=0 MajorOSystemVersion=6
              MinorOSystemVersion=0)
  string(REPLACE "=" ";" field "${field}")
  list(GET field 0 name)
  list(GET field 1 wanted)
  if(NOT headers MATCHES "${name}[ \t]+${wanted}[\r\n]")
    message(FATAL_ERROR "${EXE} does not state Windows Vista: ${name} is not ${wanted}")
  endif()
endforeach()
message(STATUS "minimum Windows: 6.0 (Vista)")

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

# The manifest's version is the project's.
file(STRINGS ${EXE} identity REGEX "assemblyIdentity")
if(NOT identity MATCHES "version=\"${VERSION}\\.0\"")
  message(FATAL_ERROR "${EXE}'s manifest does not carry version ${VERSION}.0: ${identity}")
endif()
message(STATUS "manifest: ${identity}")
