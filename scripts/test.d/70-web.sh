# The web page: the core as WebAssembly, its C API checked under Node against
# the release zarvel-cli's dump, and the page in the system's headless
# Chromium with a recording stand-in for Web MIDI (a screenshot of it goes to
# build/web-test/page.png). npm's packages (puppeteer-core) come from the
# lock file in tests/web.
set -euo pipefail
started=$(date +%s)
cmake --preset release >/dev/null
cmake --build --preset release --target zarvel-cli
scripts/web.sh --build
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
node --test tests/web/core_test.mjs tests/web/play_list_test.mjs tests/web/page_test.mjs
echo "web: $(($(date +%s) - started)) s"
