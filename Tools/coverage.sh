#!/bin/sh
# make coverage: line and branch coverage of the module's code (Pei/, Library/) under the
# whole host suite, merged into one report.
#
# The suite is what CTest knows in the coverage build (build/coverage, preset `coverage`):
# every GoogleTest case, `quarn-emu check` and `quarn-emu faults` over the built-in
# scenarios, the exit-status tests of quarn-emu and the kept fuzz inputs replayed through
# the standalone fuzz programs. Only the firmware image checks are left out (they test the
# freestanding image, not the host build). CTest starts every program, behind
# CMAKE_CROSSCOMPILING_EMULATOR where the kernel cannot run IA32 programs; each program
# writes its counts when it exits.
#
# Not counted: the hardware seam (Library/CpuIntrinsicsLib*/): the real instance never runs
# on the host and the emulated one is the host's stand-in, not module code. Branches that
# only an exception passing through the module takes (the emulator stopping a run) are left
# out too: the module itself never throws.
#
# Writes build/coverage/report/index.html (for people), build/coverage/coverage.xml
# (Cobertura, for CI tools), build/coverage/coverage.txt and branches.txt (every file with the
# lines it leaves unexecuted, and the lines with a branch never taken).
set -eu
cd "$(dirname "$0")/.."
tree=build/coverage
jobs=${JOBS:-2}

[ -f $tree/build.ninja ] || cmake --preset coverage >/dev/null
cmake --build $tree -j "$jobs"

find $tree -name '*.gcda' -delete
ctest --test-dir $tree -E '^FirmwareImage\.' -j "$jobs" --output-on-failure >$tree/ctest.log 2>&1 ||
  { tail -40 $tree/ctest.log; echo "coverage: the suite fails; no report"; exit 1; }
grep -E '^[0-9]+% tests passed' $tree/ctest.log

# The module's files, the seam left out, exception-only branches left out.
module_gcovr() {
  gcovr --root . --object-directory $tree \
    --filter 'Pei/' --filter 'Library/' --exclude 'Library/CpuIntrinsicsLib[^/]*/' \
    --exclude-throw-branches "$@"
}
rm -rf $tree/report && mkdir -p $tree/report
module_gcovr --html-details $tree/report/index.html --html-title 'QuarnPeiPreMem: module coverage' \
  --cobertura $tree/coverage.xml --txt $tree/coverage.txt --print-summary
module_gcovr --branches --txt $tree/branches.txt
echo "coverage: $tree/report/index.html, $tree/coverage.xml;" \
  "uncovered lines and branches per file in $tree/coverage.txt and $tree/branches.txt"
