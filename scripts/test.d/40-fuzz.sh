# libFuzzer targets under AddressSanitizer and UndefinedBehaviorSanitizer:
# each runs for FUZZ_SECONDS (default 60) from a scratch copy of its seed
# corpus, so the committed seeds never change. Any crash, sanitizer report,
# broken invariant or input slower than FUZZ_TIMEOUT seconds fails the stage;
# the input that did it is kept under build/fuzz/artifacts/.
set -euo pipefail
seconds="${FUZZ_SECONDS:-60}"
timeout="${FUZZ_TIMEOUT:-10}"
scripts/build.sh fuzz

bin=build/fuzz/fuzz
artifacts=build/fuzz/artifacts
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$artifacts"

ran=0
for corpus in fuzz/corpus/fuzz_*/; do
  target="$(basename "$corpus")"
  if [[ ! -x "$bin/$target" ]]; then
    echo "$target: not built in this tree, skipped"
    continue
  fi
  cp -r "$corpus" "$scratch/$target"
  echo "$target: ${seconds} s from $(ls "$corpus" | wc -l) seeds"
  if ! "$bin/$target" -max_total_time="$seconds" -timeout="$timeout" -print_final_stats=1 \
      -artifact_prefix="$artifacts/$target-" "$scratch/$target" >"$scratch/$target.log" 2>&1; then
    tail -n 60 "$scratch/$target.log"
    echo "$target: FAILED; the input is in $artifacts/"
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$scratch/$target.log" |
    sed "s/^/$target: /"
  ran=$((ran + 1))
done
((ran > 0)) || { echo "no fuzz target was built"; exit 1; }
