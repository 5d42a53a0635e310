# Runs quarn-emu and checks its exit status and output (ctest cannot test for one
# particular non-zero status by itself).
#   -DEMULATOR=<user-mode emulator or empty> -DPROGRAM=<quarn-emu binary>
#   -DARGS=<arguments, ;-separated> -DEXPECTED_EXIT=<status> -DPATTERN=<regex on stdout+stderr>
set(Command ${PROGRAM} ${ARGS})
if(EMULATOR)
  set(Command ${EMULATOR} ${Command})
endif()
execute_process(COMMAND ${Command} RESULT_VARIABLE Result OUTPUT_VARIABLE Output ERROR_VARIABLE Errors)
if(NOT Result STREQUAL EXPECTED_EXIT)
  message(FATAL_ERROR "exit status ${Result}, expected ${EXPECTED_EXIT}\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
if(NOT "${Output}${Errors}" MATCHES "${PATTERN}")
  message(FATAL_ERROR "output does not match \"${PATTERN}\"\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
