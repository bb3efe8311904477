# Release build: every unit test.
set -euo pipefail
scripts/build.sh release
ctest --preset release -j "$(nproc)"
