#!/usr/bin/env bash
# Builds the optimised tree and runs every benchmark. Installs lshw first: the information
# benchmark measures it side by side with the agent.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if ! command -v lshw >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq lshw
fi
cmake --preset release >/dev/null
cmake --build --preset release
for bench in build/release/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
