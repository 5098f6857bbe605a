#!/usr/bin/env bash
# Sets up and builds the launcher twice, normally (warnings as errors) and with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in release asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
status=0
ctest --preset asan -j2 || status=1
ctest --preset release -j2 || status=1
exit $status
