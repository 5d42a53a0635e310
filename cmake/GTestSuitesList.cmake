# Read by ctest (cmake/GTestSuites.cmake): lists the suites of a GoogleTest program once
# it is built or rebuilt, and adds one test per suite. Inputs: QUARN_SUITES_PROGRAM,
# QUARN_SUITES_LAUNCHER, QUARN_SUITES_LISTED, QUARN_SUITES_WORKDIR. A suite may take as long as ctest's longest
# tests (1500 s).

if(NOT EXISTS "${QUARN_SUITES_PROGRAM}")
  # Not built yet: one test that fails for it, as the missing program's own would.
  get_filename_component(name "${QUARN_SUITES_PROGRAM}" NAME)
  add_test("${name}.not-built" "${QUARN_SUITES_PROGRAM}")
  return()
endif()

if(NOT EXISTS "${QUARN_SUITES_LISTED}" OR "${QUARN_SUITES_PROGRAM}" IS_NEWER_THAN "${QUARN_SUITES_LISTED}")
  execute_process(
    COMMAND "${QUARN_SUITES_LAUNCHER}" "${QUARN_SUITES_PROGRAM}" --gtest_list_tests
    WORKING_DIRECTORY "${QUARN_SUITES_WORKDIR}"
    OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status TIMEOUT 300)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${QUARN_SUITES_PROGRAM} --gtest_list_tests failed (${status}):\n${listing}${errors}")
  endif()
  # A suite is a line at the left margin ending in a dot (a typed or parameterised one
  # carries a comment after it); its cases are indented. gtest_main's greeting is the one
  # other line: anything else is an error, so that no suite is left out unseen.
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(content "# Listed from ${QUARN_SUITES_PROGRAM}; written by cmake/GTestSuitesList.cmake.\n")
  set(count 0)
  foreach(line IN LISTS lines)
    if(line STREQUAL "" OR line MATCHES "^Running main\\(\\) from ")
      continue()
    elseif(line MATCHES "^ ")
      if(count EQUAL 0)
        message(FATAL_ERROR "${QUARN_SUITES_PROGRAM} --gtest_list_tests: a case before any suite: ${line}")
      endif()
      continue()
    elseif(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_/]*)\\.( +#.*)?$")
      message(FATAL_ERROR "${QUARN_SUITES_PROGRAM} --gtest_list_tests: not a suite: ${line}")
    else()
      set(suite "${CMAKE_MATCH_1}")
      string(APPEND content
        "add_test([==[${suite}.*]==] [==[${QUARN_SUITES_LAUNCHER}]==] [==[${QUARN_SUITES_PROGRAM}]==] [==[--gtest_filter=${suite}.*]==])\n"
        "set_tests_properties([==[${suite}.*]==] PROPERTIES WORKING_DIRECTORY [==[${QUARN_SUITES_WORKDIR}]==] TIMEOUT 1500)\n")
      math(EXPR count "${count} + 1")
    endif()
  endforeach()
  if(count EQUAL 0)
    message(FATAL_ERROR "${QUARN_SUITES_PROGRAM} --gtest_list_tests named no suite:\n${listing}")
  endif()
  file(WRITE "${QUARN_SUITES_LISTED}.tmp" "${content}")
  file(RENAME "${QUARN_SUITES_LISTED}.tmp" "${QUARN_SUITES_LISTED}")
endif()
include("${QUARN_SUITES_LISTED}")
