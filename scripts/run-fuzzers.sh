#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for the given number of seconds (default 60) on a copy
# of its corpus; fails on the first finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
status=0
for fuzzer in build/fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name="$(basename "$fuzzer")"
  corpus="fuzz/corpus/${name#fuzz_}"
  work="build/fuzz/work/$name"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/corpus/"
  echo "-- $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log.txt" 2>&1; then
    echo "FINDING in $name:"; tail -40 "$work/log.txt"; status=1
  else
    grep -E '^Done|#[0-9]+.*DONE' "$work/log.txt" | tail -1 || true
  fi
done
exit $status
