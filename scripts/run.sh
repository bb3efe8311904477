#!/usr/bin/env bash
# The main job: set up, build, and play a tune, to the first MIDI output port
# (ALSA sequencer or JACK) if there is one, else to the built-in monitor.
#   scripts/run.sh [TUNE.sid] [PLAY OPTIONS...]     with no tune, our demo tune
# On a terminal it plays until q; without one, for one pass of the demo
# (36 seconds) unless --seconds says otherwise.
# It installs and builds only what playing needs: no tests, benchmarks or
# test tools (scripts/test.sh brings those), into build/player.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh play
scripts/build.sh player >/dev/null
tune=tests/tunes/demo.sid
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  tune="$1"
  shift
fi
cli=build/player/src/cli/zarvel-cli
if [ -t 0 ]; then
  exec "$cli" play "$tune" "$@"
fi
case " $* " in
  *" --seconds "*) exec "$cli" play "$tune" "$@" ;;
  *) exec "$cli" play "$tune" --seconds 36 "$@" ;;
esac
