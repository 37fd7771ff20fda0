# Run by cpack after it staged the Windows build and before it zips it: signs
# bin2dd.exe with osslsigncode when a certificate is given, with the commit
# time as signing time, so that two signings of one commit give the same
# bytes. Without a certificate nothing changes. The key's password comes from
# the environment (BIN2DD_SIGN_PASSWORD) when cpack runs, so that it is never
# stored in the build folder, and reaches osslsigncode through a file that
# only its owner can read, never a command line, which every local user can
# read while it runs.

# The zip and its sum of an earlier run go first: a signing that fails must
# not leave them to pass for this run's.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip
     ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.zip.sha256)
if(NOT CPACK_BIN2DD_SIGN_PKCS12 AND NOT CPACK_BIN2DD_SIGN_PKCS11_MODULE)
  return()
endif()
if(CPACK_BIN2DD_SIGN_PKCS12 AND NOT DEFINED ENV{BIN2DD_SIGN_PASSWORD})
  message(FATAL_ERROR "BIN2DD_SIGN_PASSWORD is not set: set it to the password of "
                      "${CPACK_BIN2DD_SIGN_PKCS12} (empty for a key without one) and run cpack again")
endif()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "Signing needs osslsigncode (apt-get install osslsigncode)")
endif()

if(CPACK_BIN2DD_SIGN_PKCS12)
  set(key -pkcs12 ${CPACK_BIN2DD_SIGN_PKCS12})
else()
  # A key held in hardware: the module, the certificate and the key's URI.
  set(key -pkcs11module ${CPACK_BIN2DD_SIGN_PKCS11_MODULE} -certs ${CPACK_BIN2DD_SIGN_CERT}
          -key ${CPACK_BIN2DD_SIGN_KEY})
endif()
set(secrets ${CPACK_TOPLEVEL_DIRECTORY}/signing)
if(DEFINED ENV{BIN2DD_SIGN_PASSWORD})
  # A folder that only the owner may enter, made so before the file exists.
  file(REMOVE_RECURSE ${secrets})
  file(MAKE_DIRECTORY ${secrets})
  file(CHMOD ${secrets} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  file(TOUCH ${secrets}/password)
  file(CHMOD ${secrets}/password PERMISSIONS OWNER_READ OWNER_WRITE)
  file(WRITE ${secrets}/password "$ENV{BIN2DD_SIGN_PASSWORD}")
  list(APPEND key -readpass ${secrets}/password)
endif()
# An RFC 3161 time stamp keeps the signature valid after the certificate
# expires; it needs the time-stamp server, over the network.
set(when)
if(CPACK_BIN2DD_SIGN_TIMESTAMP_URL)
  set(when -ts ${CPACK_BIN2DD_SIGN_TIMESTAMP_URL})
elseif(CPACK_BIN2DD_SOURCE_DATE_EPOCH)
  set(when -time ${CPACK_BIN2DD_SOURCE_DATE_EPOCH})
endif()

file(GLOB_RECURSE programs ${CPACK_TEMPORARY_DIRECTORY}/*.exe)
foreach(program IN LISTS programs)
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign ${key} ${when} -h sha256 -n bin2dd -i https://www.wmqv.test
            -in ${program} -out ${program}.signed
    RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
  if(failed)
    file(REMOVE_RECURSE ${secrets})
    message(FATAL_ERROR "Could not sign ${program}:\n${said}")
  endif()
  file(RENAME ${program}.signed ${program})
  message(STATUS "signed ${program}")
endforeach()
file(REMOVE_RECURSE ${secrets})
