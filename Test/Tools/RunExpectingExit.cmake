# Runs quarn-emu and checks its exit status and output (ctest cannot test for one
# particular non-zero status by itself).
#   -DPROGRAM=<quarn-emu: the launcher script of build/bin>
#   -DARGS=<arguments, ;-separated> -DEXPECTED_EXIT=<status> -DPATTERN=<regex on stdout+stderr>
set(Command ${PROGRAM} ${ARGS})
execute_process(COMMAND ${Command} RESULT_VARIABLE Result OUTPUT_VARIABLE Output ERROR_VARIABLE Errors)
if(NOT Result STREQUAL EXPECTED_EXIT)
  message(FATAL_ERROR "exit status ${Result}, expected ${EXPECTED_EXIT}\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
if(NOT "${Output}${Errors}" MATCHES "${PATTERN}")
  message(FATAL_ERROR "output does not match \"${PATTERN}\"\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
