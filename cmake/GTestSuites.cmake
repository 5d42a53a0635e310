# quarn_gtest_suites(TARGET): ctest runs the GoogleTest program TARGET
# one suite per process ("Suite.*", its cases in one process), not one process per case.
#
# Every start of a test program costs the same before its first case runs: under
# qemu-i386 about a second in the sanitizer tree (the program's start-up code is
# translated before it runs), a tenth of that natively. One process per suite keeps
# ctest's names and selection by suite (ctest -R 'Explain\.') and its parallel runs; a
# failing case is named in the suite's output. A single case runs as always:
#   build/<tree>/run-ia32 build/<tree>/Test/quarn-tests --gtest_filter=Suite.Case
#
# The suites are listed when ctest reads the tree (the program through the tree's
# launcher, --gtest_list_tests) and kept in TARGET_suites.cmake beside the program, listed
# again when the program is newer; deleting that file lists them again.
function(quarn_gtest_suites target)
  set(listed ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake)
  set(reader ${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake)
  file(GENERATE OUTPUT ${reader} CONTENT
"set(QUARN_SUITES_PROGRAM [==[$<TARGET_FILE:${target}>]==])
set(QUARN_SUITES_LAUNCHER [==[${CMAKE_CROSSCOMPILING_EMULATOR}]==])
set(QUARN_SUITES_LISTED [==[${listed}]==])
set(QUARN_SUITES_WORKDIR [==[${CMAKE_CURRENT_BINARY_DIR}]==])
include([==[${CMAKE_SOURCE_DIR}/cmake/GTestSuitesList.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${reader})
endfunction()
