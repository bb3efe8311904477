#!/usr/bin/env bash
# Installs from Debian's packages what is missing, then does nothing more
# when all is there. Run as root.
#   scripts/setup.sh play    what building the player and playing need (scripts/run.sh)
#   scripts/setup.sh         that and what the tests, packages and the web page
#                            need (scripts/test.sh, scripts/package.sh)
set -euo pipefail

# Building zarvel-cli and playing a tune: each package here and only here.
play_packages=(
  cmake ninja-build g++ pkg-config
  librtmidi-dev jackd2       # MIDI ports, and a JACK server to play through
  libjack-jackd2-dev         # JACK ports through libjack itself
  libcli11-dev               # command-line parsing
)

# Everything else: the tests and their stages, the packages, the web page.
test_packages=(
  libgtest-dev libbenchmark-dev
  cc65                       # ca65/ld65 assemble the test tunes
  nlohmann-json3-dev         # the tests read info --json back
  clang libclang-rt-14-dev   # libFuzzer and the sanitizer runtimes
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xdotool imagemagick
  file                       # the Windows stage checks what it built
  nsis unzip                 # the Windows installer, and the check of the zip
  dpkg-dev lintian           # the Debian package: dpkg-shlibdeps, and its check
  man-db groff-base bash-completion  # the package's manual page and completion, checked
  tmux                       # the status lines at several terminal widths
  util-linux                 # setpriv: a write refused for want of permission, as root
  emscripten                 # the web page's core, compiled to WebAssembly
  nodejs chromium            # the web page's tests: its core under Node, the page headless
)

case "${1:-all}" in
  play) packages=("${play_packages[@]}") ;;
  all) packages=("${play_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: scripts/setup.sh [play|all]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # jackd2 otherwise asks whether to enable real-time scheduling.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# npm installs the web tests' driver. Node.js may come with its own npm (from
# another source than Debian's), which Debian's npm package would conflict with.
if [[ "${1:-all}" == all ]] && ! command -v npm >/dev/null; then
  apt-get install -y -q --no-install-recommends npm
fi
