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
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -Isrc -Ifuzz)
mkdir -p fuzz/out
# The core sources the targets need, once, as an object set shared by every target.
objects=()
for src in src/base/*.cpp src/formats/*.cpp src/project/*.cpp src/device/DevCatalog.cpp src/device/CatalogNames.cpp; do
  dir=$(basename "$(dirname "$src")")
  obj=fuzz/out/$dir-$(basename "$src" .cpp).o
  if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find src/base src/formats src/project src/device -name '*.h' -newer "$obj")" ]; then
    "$CXX" "${flags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$src" -o "$obj"
  fi
  objects+=("$obj")
done

status=0
for t in "${targets[@]}"; do
  echo "== $t: building"
  "$CXX" "${flags[@]}" "fuzz/$t.cpp" "${objects[@]}" -lz -o "fuzz/out/$t"
  mkdir -p "fuzz/corpus-$t"
  echo "== $t: running ${seconds}s"
  if ! (cd fuzz/out && "./$t" -max_total_time="$seconds" -max_len="${FUZZ_MAX_LEN:-12000}" -print_final_stats=1 \
          -artifact_prefix="$t-" "../corpus-$t" 2>"$t.log"); then
    echo "== $t: FAILED (see fuzz/out/$t.log)"
    tail -30 "fuzz/out/$t.log"
    status=1
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^#[0-9]+ *DONE' "fuzz/out/$t.log" || true
  fi
done
exit $status
