#!/usr/bin/env bash
# Sets up what is missing, builds Kalvort with its tests and runs every test.
# Any extra arguments go to ctest (for example: ./test.sh -R formats).
set -euo pipefail
cd "$(dirname "$0")"
export KALVORT_LOOPBACK_ONLY=1
scripts/setup-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"
