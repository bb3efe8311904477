#!/usr/bin/env bash
# The main job: set up, build, and show what a tune does on our CPU core.
#   scripts/run.sh [TUNE.sid]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh release >/dev/null
tune="${1:-tests/tunes/melody.sid}"
exec build/release/src/cli/zarvel-cli steps "$tune"
