#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer from the staged tree. When no agent
# serves this computer (no running vigant service), the staged agent is started beside the
# viewer for the current user and stopped again when the viewer ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"

agent_pid=""
if ! systemctl is-active --quiet vigant.service 2>/dev/null; then
  build/stage/Vigant/vigantd &
  agent_pid=$!
  trap 'kill "$agent_pid" 2>/dev/null || true; wait "$agent_pid" 2>/dev/null || true' EXIT
  # "another process serves it": an agent of this user already runs; the viewer uses that one.
  sleep 0.2
  kill -0 "$agent_pid" 2>/dev/null || agent_pid=""
fi
status=0
build/stage/Ostero/ostero "$@" || status=$?
exit $status
