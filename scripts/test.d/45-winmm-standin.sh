# The stand-in winmm.dll under Wine: build the Windows preset, run our probe
# program beside the DLL, then check every line the DLL recorded.
set -euo pipefail
scripts/build.sh mingw-x64

out="$PWD/build/mingw-x64/standin"
record="$out/record.txt"
export WINEPREFIX="$PWD/build/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all
# Debian's wine64 package alone (no recommends) puts its loader and server
# outside PATH.
find_tool() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return; fi
    if [ -x "/usr/lib/wine/$name" ]; then echo "/usr/lib/wine/$name"; return; fi
  done
  echo "winmm stand-in: no $1 found (scripts/setup.sh installs wine64)" >&2
  exit 1
}
wine="$(find_tool wine64 wine)"
wineserver="$(find_tool wineserver64 wineserver)"
trap 'timeout 30 "$wineserver" -k >/dev/null 2>&1 || true' EXIT

# A private prefix, made once. Mono and Gecko are left out: their installers
# would ask questions, and a console program needs neither.
if [ ! -f "$WINEPREFIX/.zarvel-ready" ]; then
  echo "winmm stand-in: creating the Wine prefix"
  rm -rf "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$wine" wineboot --init >/dev/null 2>&1
  timeout 60 "$wineserver" -w
  touch "$WINEPREFIX/.zarvel-ready"
fi

rm -f "$record"
(cd "$out" && WINEDLLOVERRIDES="winmm=n,b" ZARVEL_WINMM_RECORD="$record" \
  timeout 120 "$wine" ./winmm_standin_probe.exe)

# Device B: frames 00..31 (hex) of F0 2D 4E n F7, 20 ticks apart, each on the
# 20 ms grid (loosely: 50 frames in 0.9 to 2 s). Device A: a short message,
# the tempo event (empty), and F0 2D 4C F7 ten ticks later at double tempo,
# so 5 ms, certainly under the 10 ms it would take at the default tempo.
awk -F'\t' '
  function fail(why) { print "winmm stand-in record: " why; bad = 1 }
  NF != 4 { fail("line " NR " has " NF " fields: " $0); next }
  $2 == "Zarvel Capture B" {
    want = sprintf("F0 2D 4E %02X F7", b)
    if ($3 != 20 || $4 != want) fail("frame " b ": " $3 " ticks, " $4 " (want 20 ticks, " want ")")
    if (b == 0) first_b = $1
    last_b = $1
    if (b > 0 && $1 < previous_b) fail("frame " b " played before the one ahead of it")
    previous_b = $1; b++
    next
  }
  $2 == "Zarvel Capture A" {
    a++
    if (a == 1 && ($3 != 0 || $4 != "90 3C 7F")) fail("device A event 1: " $3 " ticks, " $4)
    if (a == 2 && ($3 != 0 || $4 != "")) fail("device A event 2 (tempo): " $3 " ticks, [" $4 "]")
    if (a == 3 && ($3 != 10 || $4 != "F0 2D 4C F7")) fail("device A event 3: " $3 " ticks, " $4)
    if (a == 1) first_a = $1
    if (a == 3 && ($1 - first_a < 0 || $1 - first_a >= 9500)) fail("tempo change ignored: " $1 - first_a " us")
    next
  }
  { fail("unknown device: " $2) }
  END {
    if (b != 50) fail(b " frames on device B, want 50")
    if (a != 3) fail(a " events on device A, want 3")
    span = last_b - first_b
    if (span < 900000 || span > 2000000) fail("50 frames took " span " us")
    if (bad) exit 1
    print "winmm stand-in record: " NR " lines as expected, 50 frames in " span " us"
  }' "$record"
