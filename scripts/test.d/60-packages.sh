# The packages a person installs: scripts/package.sh makes them from the
# release and mingw-i686 builds of the stages before, then each is checked as
# it is used: the .deb unpacked (its program, manual page, completion) and
# lintian; the zip's three files and the installer's version record; and the
# same installer script around the x86_64 build, installed, run and
# uninstalled under Wine.
set -euo pipefail
started=$(date +%s)
scripts/package.sh
version=$(sed -n 's/^#define ZARVEL_VERSION "\(.*\)"$/\1/p' build/release/src/generated/version.h)
bash tests/packaging/check_deb.sh "build/package/zarvel-cli_${version}_amd64.deb" "$version"
bash tests/packaging/check_windows_packages.sh "build/package/zarvel-${version}-win32.zip" \
  "build/package/zarvel-${version}-setup.exe" build/mingw-i686/src/generated/version.h
scripts/build.sh mingw-x64
cmake --build --preset mingw-x64 --target installer >/dev/null
# Every wait inside has its own limit; this one is for whatever they miss.
timeout --kill-after=20 300 bash tests/packaging/installer_wine_test.sh
echo "packages: $(($(date +%s) - started)) s"
