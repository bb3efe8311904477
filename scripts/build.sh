#!/usr/bin/env bash
# Configures and builds one preset: scripts/build.sh release (or player,
# the program alone, as scripts/run.sh builds it)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
