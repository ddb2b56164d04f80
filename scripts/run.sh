#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer from the staged tree.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
exec build/stage/Ostero/ostero "$@"
