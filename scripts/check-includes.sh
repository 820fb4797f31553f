#!/usr/bin/env bash
# Fails when a folder of src includes a folder that stands above it in the layout order.
# The order, top to bottom: a folder may include itself and the folders below it only.
# The programs (app, cli, sim/program) stand above every library folder.
set -euo pipefail
cd "$(dirname "$0")/../src"
order=(workflow project sim transport module formats device toolpath base)

rank() {
  local i
  for i in "${!order[@]}"; do
    [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

status=0
for dir in "${order[@]}"; do
  mine=$(rank "$dir")
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$line")
    theirs=$(rank "$target")
    if [ "$theirs" -ge 0 ] && [ "$theirs" -lt "$mine" ]; then
      echo "$line: $dir may not include $target (order: ${order[*]})"
      status=1
    fi
  done < <(find "$dir" -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp' | sort |
           xargs grep -HnE '^#include "[a-z]+/' || true)
done
[ "$status" -eq 0 ] && echo "includes follow the order: ${order[*]}"
exit "$status"
