#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) into fuzz/out and runs each for SECONDS.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]     (default 60 s; targets: the fuzz_*.cpp names)
# Corpora persist in fuzz/corpus-TARGET; crashes land in fuzz/out/TARGET-crash-*.
# FUZZ_MAX_LEN sets the largest input (default 12000 bytes: more than the largest ВЗ text).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

CXX=${CXX_FUZZ:-clang++}
# A CMake build of its own in fuzz/out/build: the targets link the same folder libraries as the
# programs, all built with ASan+UBSan and libFuzzer's coverage instrumentation, at -O1 -g.
build=fuzz/out/build
mkdir -p fuzz/out
echo "== configuring $build"
if ! cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$CXX" -DKALVORT_BUILD_FUZZERS=ON -DKALVORT_BUILD_TESTS=OFF \
       -DKALVORT_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >fuzz/out/configure.log 2>&1; then
  cat fuzz/out/configure.log
  exit 1
fi
echo "== building ${targets[*]}"
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

status=0
for t in "${targets[@]}"; do
  mkdir -p "fuzz/corpus-$t"
  echo "== $t: running ${seconds}s"
  if ! (cd fuzz/out && "./build/fuzz/$t" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-12000}" -print_final_stats=1 \
          -artifact_prefix="$t-" "../corpus-$t" 2>"$t.log"); then
    echo "== $t: FAILED (see fuzz/out/$t.log)"
    tail -30 "fuzz/out/$t.log"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ *DONE' "fuzz/out/$t.log" || true
  fi
done
exit $status
