#!/usr/bin/env bash
# Lays every tracked C and C++ source out as .clang-format says: the files `make lint`
# checks (Tools/lint.py). MdeSubset/, Include/Ppi/ and Include/Guid/ keep the framework's
# layout (their .clang-format turns formatting off). Changes no behaviour; where it moves a
# line an assertion reports, the expectations that quote that line move with it (README,
# "Static analysis and code style").
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.cpp' '*.h' '*.c' '*.cc' '*.cxx' '*.hpp' '*.inc' | xargs -0 -r clang-format -i --style=file
