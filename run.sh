#!/usr/bin/env bash
# Sets up what is missing, builds the programs (Release) and starts one.
#   ./run.sh            the program
#   ./run.sh cli ARGS   kalvort-cli
#   ./run.sh sim ARGS   the controller simulator kalvort-urvell-sim
# Only the programs are built (the tests and benchmarks are ./test.sh's), and nothing is printed
# when they are up to date, so the output is the program's own.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps.sh

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
targets=(kalvort-cli kalvort-urvell-sim)
if [ -d src/app ]; then targets+=(kalvort); fi
# The build's own lines only when something is built; the "up to date" lines are left out.
cmake --build build -j "$(nproc)" --target "${targets[@]}" 2>&1 |
  { grep -v -e 'Built target' -e 'Consolidate compiler generated dependencies' -e 'Automatic MOC and UIC' >&2 || true; }

case "${1:-}" in
  cli) shift; exec build/src/cli/kalvort-cli "$@" ;;
  sim) shift; exec build/src/sim/program/kalvort-urvell-sim "$@" ;;
  "") if [ -x build/src/app/kalvort ]; then exec build/src/app/kalvort; fi
      exec build/src/cli/kalvort-cli --help ;;
  *) echo "usage: ./run.sh [cli ARGS... | sim ARGS...]" >&2; exit 2 ;;
esac
