#!/usr/bin/env bash
# Every test: set up, then the unit tests, then the sanitizer build's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

step() { echo; echo "==== $*"; }

step "release: build and unit tests"
scripts/build.sh release
ctest --preset release -j "$(nproc)"

step "asan: AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh asan
ctest --preset asan -j "$(nproc)"

echo; echo "all tests passed"
