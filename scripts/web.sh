#!/usr/bin/env bash
# Builds the web page into build/web/site and serves it on
# http://localhost:8064 (Web MIDI needs a secure context: localhost is one).
#   scripts/web.sh              build, then serve until Ctrl-C
#   scripts/web.sh --port N     the same on port N
#   scripts/web.sh --build      build only
set -euo pipefail
cd "$(dirname "$0")/.."
port=8064
serve=1
while (($#)); do
  case "$1" in
    --build) serve=0 ;;
    --port) port="$2"; shift ;;
    *) echo "usage: scripts/web.sh [--build] [--port N]" >&2; exit 2 ;;
  esac
  shift
done
cmake --preset web >/dev/null
cmake --build --preset web -j "$(nproc)"
((serve)) || exit 0
exec node scripts/web_server.mjs build/web/site "$port"
