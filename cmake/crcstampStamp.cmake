# cmake -DCRCSTAMP=<tool> -DHEX=<file> [-DLOW_BYTE_FIRST=TRUE] -P crcstampStamp.cmake: stamps <file> with standard
# input from the null device, whatever the platform, so that the tool never waits for a key; fails when the stamp
# fails.
if(CMAKE_HOST_WIN32)
  set(null NUL)
else()
  set(null /dev/null)
endif()
set(options)
if(LOW_BYTE_FIRST)
  set(options --low-byte-first)
endif()
execute_process(COMMAND "${CRCSTAMP}" ${options} "${HEX}" INPUT_FILE "${null}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "crcstamp did not stamp ${HEX}")
endif()
