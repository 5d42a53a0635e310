# Runs quarn-emu and checks its exit status and output (ctest cannot test for one
# particular non-zero status by itself).
#   -DPROGRAM=<quarn-emu: the launcher script of build/bin>
#   -DARGS=<arguments, ;-separated> -DEXPECTED_EXIT=<status> -DPATTERN=<regex on stdout+stderr>
# and optionally
#   -DREJECT=<regex that must not match>  -DINPUT=<file on standard input>
#   -DOUTPUT=<file standard output goes to, e.g. /dev/full>  -DWORKDIR=<directory to run in>
set(Command ${PROGRAM} ${ARGS})
set(Redirect "")
if(INPUT)
  list(APPEND Redirect INPUT_FILE ${INPUT})
endif()
if(OUTPUT)
  list(APPEND Redirect OUTPUT_FILE ${OUTPUT})
else()
  list(APPEND Redirect OUTPUT_VARIABLE Output)
endif()
if(WORKDIR)
  list(APPEND Redirect WORKING_DIRECTORY ${WORKDIR})
endif()
execute_process(COMMAND ${Command} RESULT_VARIABLE Result ERROR_VARIABLE Errors ${Redirect})
if(NOT Result STREQUAL EXPECTED_EXIT)
  message(FATAL_ERROR "exit status ${Result}, expected ${EXPECTED_EXIT}\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
if(NOT "${Output}${Errors}" MATCHES "${PATTERN}")
  message(FATAL_ERROR "output does not match \"${PATTERN}\"\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
if(REJECT AND "${Output}${Errors}" MATCHES "${REJECT}")
  message(FATAL_ERROR "output matches \"${REJECT}\", which it must not\nstdout:\n${Output}\nstderr:\n${Errors}")
endif()
