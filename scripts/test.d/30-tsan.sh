# ThreadSanitizer: the tests that run the controller on real threads (label
# "threads"); any data race fails them.
set -euo pipefail
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" ctest --preset tsan -j "$(nproc)"
