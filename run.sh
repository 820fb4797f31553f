#!/usr/bin/env bash
# Sets up what is missing, builds Kalvort (Release) and starts it.
#   ./run.sh            the program
#   ./run.sh cli ARGS   kalvort-cli
#   ./run.sh sim ARGS   the controller simulator kalvort-urvell-sim
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release >&2

case "${1:-}" in
  cli) shift; exec build/src/cli/kalvort-cli "$@" ;;
  sim) shift; exec build/src/sim/program/kalvort-urvell-sim "$@" ;;
  "") if [ -x build/src/app/kalvort ]; then exec build/src/app/kalvort; fi
      exec build/src/cli/kalvort-cli --help ;;
  *) echo "usage: ./run.sh [cli ARGS... | sim ARGS...]" >&2; exit 2 ;;
esac
