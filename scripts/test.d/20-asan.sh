# AddressSanitizer and UndefinedBehaviorSanitizer: every unit test.
set -euo pipefail
scripts/build.sh asan
ctest --preset asan -j "$(nproc)"
