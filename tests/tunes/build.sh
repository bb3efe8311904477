#!/usr/bin/env bash
# Assembles every tune here from its source: tests/tunes/NAME.s -> NAME.sid.
#   tests/tunes/build.sh            rebuild the committed .sid files in place
#   tests/tunes/build.sh OUT_DIR    build into OUT_DIR instead
#   tests/tunes/build.sh --check OUT_DIR
#                                   build into OUT_DIR and fail unless every
#                                   committed .sid equals its fresh build and
#                                   every source has a committed .sid
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

check=0
if [[ "${1:-}" == "--check" ]]; then
  check=1
  shift
fi
out="${1:-$here}"
mkdir -p "$out"
objects="$(mktemp -d)"
trap 'rm -rf "$objects"' EXIT

# Every .s that writes a PSID header is a tune; .inc files are shared parts.
tunes=()
for source in "$here"/*.s; do
  tunes+=("$(basename "$source" .s)")
done

for tune in "${tunes[@]}"; do
  ca65 --include-dir "$here" -o "$objects/$tune.o" "$here/$tune.s"
  ld65 -C "$here/tune.cfg" -o "$out/$tune.sid" "$objects/$tune.o"
done

if ((check)); then
  status=0
  for tune in "${tunes[@]}"; do
    if [[ ! -f "$here/$tune.sid" ]]; then
      echo "missing: $tune.sid is not committed beside $tune.s" >&2
      status=1
    elif ! cmp -s "$here/$tune.sid" "$out/$tune.sid"; then
      echo "drifted: $tune.sid differs from what $tune.s assembles to" >&2
      status=1
    fi
  done
  for committed in "$here"/*.sid; do
    if [[ ! -f "$here/$(basename "$committed" .sid).s" ]]; then
      echo "orphan: $(basename "$committed") has no source" >&2
      status=1
    fi
  done
  ((status == 0)) && echo "${#tunes[@]} tunes match their sources"
  exit $status
fi
