#!/usr/bin/env bash
# Every test: set up, then each stage of scripts/test.d in name order
# (unit tests, sanitizers, fuzzing, the Windows program under Wine...).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

for stage in scripts/test.d/*.sh; do
  echo
  echo "==== $(basename "$stage" .sh)"
  bash "$stage"
done
echo
echo "all tests passed"
