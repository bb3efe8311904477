#!/usr/bin/env bash
# Builds the packages a person installs, into build/package/:
#   zarvel-cli_VERSION_amd64.deb   Debian package of the command line (release build)
#   zarvel-VERSION-win32.zip       zarvel.exe, README.txt and LICENSE.txt (mingw-i686 build)
#   zarvel-VERSION-setup.exe       the installer of the same files
# Builds only what the packages need, and nothing that is built already.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target zarvel-cli zarvel-cli-docs
cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686 -j "$(nproc)" --target zarvel

version=$(sed -n 's/^#define ZARVEL_VERSION "\(.*\)"$/\1/p' build/release/src/generated/version.h)
[[ -n $version ]] || { echo "package: no version in build/release/src/generated/version.h" >&2; exit 1; }

# Each package from scratch, so that nothing older is taken for it.
rm -rf build/release/packages build/mingw-i686/packages
(cd build/release && cpack -G DEB >/dev/null)
(cd build/mingw-i686 && cpack -G ZIP >/dev/null)
cmake --build --preset mingw-i686 --target installer >/dev/null

out=build/package
rm -rf "$out"
mkdir -p "$out"
cp build/release/packages/"zarvel-cli_${version}_amd64.deb" \
    build/mingw-i686/packages/"zarvel-${version}-win32.zip" \
    build/mingw-i686/packages/"zarvel-${version}-setup.exe" "$out/"
ls -l "$out"
