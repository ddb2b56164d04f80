#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Qt-free cores under
# AddressSanitizer + UndefinedBehaviorSanitizer, every fuzz target for FUZZ_SECONDS (60),
# then the whole suite (unit, gui, integration) of the ordinary build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

bash scripts/install-deps.sh
# playwright-core for the browser tests, at the version of the lock file; it uses Debian's
# Chromium, so nothing else is downloaded.
npm ci --prefix tests/browser --no-audit --no-fund --silent

echo "== build (dev)"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"

echo "== cores under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake --preset asan-ubsan >/dev/null
cmake --build --preset asan-ubsan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset asan-ubsan -j "$jobs"

echo "== fuzz targets"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
bash scripts/run-fuzzers.sh "${FUZZ_SECONDS:-60}"

echo "== all tests (dev)"
ctest --preset dev -j "$jobs"
