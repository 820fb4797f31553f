#!/usr/bin/env bash
# Configures and builds one build tree. Usage: scripts/build.sh DIR [CMAKE-ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
cmake -S . -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
