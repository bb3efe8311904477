#!/usr/bin/env bash
# Installs what building and testing Zarvel needs, from Debian's packages,
# when it is missing. Run as root; does nothing when all is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libbenchmark-dev
  cc65                       # ca65/ld65 assemble the test tunes
  librtmidi-dev jackd2       # MIDI ports, and a dummy JACK server in tests
  libjack-jackd2-dev         # JACK ports through libjack itself
  libcli11-dev               # command-line parsing
  nlohmann-json3-dev         # the tests read info --json back
  clang libclang-rt-14-dev   # libFuzzer and the sanitizer runtimes
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xdotool imagemagick
  file                       # the Windows stage checks what it built
  nsis unzip                 # the Windows installer, and the check of the zip
  dpkg-dev lintian           # the Debian package: dpkg-shlibdeps, and its check
  man-db groff-base bash-completion  # the package's manual page and completion, checked
  tmux
  emscripten                 # the web page's core, compiled to WebAssembly
  nodejs chromium            # the web page's tests: its core under Node, the page headless
)

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
if ! command -v npm >/dev/null; then
  apt-get install -y -q --no-install-recommends npm
fi
