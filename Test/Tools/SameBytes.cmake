# Runs one built-in scenario three times in separate processes — by name, by path, and
# by name again from another directory with a longer environment (which moves the host's
# stack and heap) — each with a JSON report, and fails unless the three outputs (console,
# summary; the trace too with -DTRACE=ON) and the three reports are the same bytes.
#   -DEMULATOR=<user-mode emulator or empty> -DPROGRAM=<quarn-emu binary>
#   -DNAME=<built-in scenario> -DFILE=<its Scenarios/NAME.toml> -DWORK=<scratch directory>
#   -DTRACE=ON|OFF
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/elsewhere)
set(Runs by-name by-path moved)
set(Argument_by-name ${NAME})
set(Argument_by-path ${FILE})
set(Argument_moved ${NAME})
foreach(Run ${Runs})
  set(Command ${PROGRAM} run ${Argument_${Run}} --report ${WORK}/${Run}.json)
  if(TRACE)
    list(APPEND Command --trace)
  endif()
  if(EMULATOR)
    set(Command ${EMULATOR} ${Command})
  endif()
  set(Directory ${WORK})
  if(Run STREQUAL "moved")
    string(REPEAT "x" 4000 Padding)
    set(Command ${CMAKE_COMMAND} -E env QUARN_SAME_BYTES_PADDING=${Padding} ${Command})
    set(Directory ${WORK}/elsewhere)
  endif()
  execute_process(COMMAND ${Command} WORKING_DIRECTORY ${Directory}
    RESULT_VARIABLE Result OUTPUT_FILE ${WORK}/${Run}.out ERROR_VARIABLE Errors)
  if(NOT Result MATCHES "^[03]$")
    message(FATAL_ERROR "${Run}: exit status ${Result}\n${Errors}")
  endif()
endforeach()
foreach(Kind out json)
  foreach(Run by-path moved)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/by-name.${Kind} ${WORK}/${Run}.${Kind}
      RESULT_VARIABLE Different)
    if(Different)
      message(FATAL_ERROR "${NAME}: ${WORK}/by-name.${Kind} and ${WORK}/${Run}.${Kind} differ")
    endif()
  endforeach()
endforeach()
