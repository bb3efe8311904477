#!/usr/bin/env bash
# Play-and-quit cycles against a private JACK server (dummy driver, 64-frame
# periods): zarvel-cli plays a tune for a second to a JACK port, again and
# again. A crash, a message or an exit code other than 0 fails the run.
#
#   scripts/jack_stress.sh [CYCLES (200)] [BUILD_DIR (build/release)]
#
# The test suite runs 20 cycles of it (ctest -R jack_stress).
set -euo pipefail
cd "$(dirname "$0")/.."
cycles="${1:-200}"
build="${2:-build/release}"
cli="$build/src/cli/zarvel-cli"
tune=tests/tunes/melody.sid
port=midi-monitor:input  # jack_midi_dump's port, from jackd2

export JACK_DEFAULT_SERVER="zarvel-stress-$$" JACK_NO_START_SERVER=1 JACK_NO_AUDIO_RESERVATION=1
err="$(mktemp)"
server=""
receiver=""
finish() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  wait 2>/dev/null || true
  rm -f "$err"
}
trap finish EXIT

jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 64 >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_midi_dump >/dev/null 2>&1 &
receiver=$!
for _ in $(seq 100); do "$cli" ports 2>/dev/null | grep -qE "  $port(  \(default\))?\$" && break; sleep 0.1; done
if ! "$cli" ports 2>/dev/null | grep -qE "  $port(  \(default\))?\$"; then
  echo "jack stress: no JACK port $port (scripts/setup.sh installs jackd2)"
  exit 1
fi

# Every JACK server of a user keeps its metadata in one shared directory,
# and each removes it when it ends; libjack's database then says so on
# stderr in a client opening at that moment. Servers of other runs on this
# machine end when they will, so that line is no failure of ours.
foreign='^/dev/shm/jack_db-[0-9]+/[^ ]*: No such file or directory$'

for ((cycle = 1; cycle <= cycles; cycle++)); do
  code=0
  "$cli" play "$tune" --port "$port" --seconds 1 </dev/null >/dev/null 2>"$err" || code=$?
  if [ "$code" -ne 0 ] || grep -qvE "$foreign" "$err"; then
    echo "jack stress: cycle $cycle of $cycles ended with exit code $code"
    cat "$err"
    exit 1
  fi
done
echo "jack stress: $cycles play-and-quit cycles, no crash"
