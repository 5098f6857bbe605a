#!/usr/bin/env bash
# Sets up and builds the launcher twice and runs each test in the build that shows it best:
# the unit, fault and fuzz-corpus tests in the build with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang), the end-to-end and packaging tests in the release build
# (gcc), which is what ships. Both builds treat warnings as errors, so both compilers' warnings
# guard the code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in asan release; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
status=0
# The unit and fault tests mostly wait (for X servers, timeouts, killed processes): two at a
# time kept 1.1 of the two cores busy, three keep 1.5.
ctest --preset asan -j3 || status=1
ctest --preset release -j2 || status=1
exit $status
