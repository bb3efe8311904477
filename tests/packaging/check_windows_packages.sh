#!/usr/bin/env bash
# The Windows packages as they are downloaded: the zip holds exactly
# zarvel.exe, README.txt and LICENSE.txt, the texts with Windows line ends;
# its zarvel.exe passes the resource check of the release build; the
# installer is a 32-bit NSIS program that carries the same version record as
# the program it installs.
#   tests/packaging/check_windows_packages.sh ZIP SETUP_EXE VERSION_H
set -euo pipefail
cd "$(dirname "$0")/../.."
zip=$1
setup=$2
version_h=$3

fail() {
    echo "windows packages: FAIL: $*" >&2
    exit 1
}

version=$(sed -n 's/^#define ZARVEL_VERSION "\(.*\)"$/\1/p' "$version_h")
[[ -n $version ]] || fail "no version in $version_h"

files=$(unzip -Z1 "$zip" | sort)
[[ $files == $'LICENSE.txt\nREADME.txt\nzarvel.exe' ]] || fail "$zip holds:"$'\n'"$files"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"

crlf_text() {  # FILE: every line, the last one too, ends in CR LF
    local lines crlf
    lines=$(wc -l <"$1")
    crlf=$(grep -c $'\r$' "$1" || true)
    ((lines > 0 && lines == crlf)) && [[ $(tail -c 2 "$1" | od -An -tx1 | tr -d ' ') == 0d0a ]]
}
crlf_text "$unpacked/README.txt" || fail "README.txt does not have Windows line ends throughout"
crlf_text "$unpacked/LICENSE.txt" || fail "LICENSE.txt does not have Windows line ends throughout"
tr -d '\r' <"$unpacked/LICENSE.txt" | cmp -s - LICENSE || fail "LICENSE.txt is not the project's LICENSE"
grep -q "^Zarvel $version"$'\r$' "$unpacked/README.txt" || fail "README.txt does not name version $version"

bash tests/ui/check_resources.sh "$unpacked/zarvel.exe" X86 "$version_h"

[[ $(file -b "$setup") == "PE32 executable (GUI) Intel 80386"*"Nullsoft Installer"* ]] ||
    fail "$setup is no 32-bit NSIS installer: $(file -b "$setup")"

# The version record's numbers and the texts that name the product.
version_record() {
    i686-w64-mingw32-windres -i "$1" -O rc 2>/dev/null |
        grep -E '^ (FILEVERSION|PRODUCTVERSION) |VALUE "(FileVersion|ProductVersion|ProductName|CompanyName)"' |
        sed 's/^ *//' | sort
}
program_record=$(version_record "$unpacked/zarvel.exe")
[[ $(wc -l <<<"$program_record") == 6 ]] || fail "zarvel.exe's version record is incomplete:"$'\n'"$program_record"
[[ $(version_record "$setup") == "$program_record" ]] ||
    fail "the installer's version record differs from zarvel.exe's:"$'\n'"$(diff <(echo "$program_record") <(version_record "$setup") || true)"

echo "windows packages: $zip holds the three files; $setup carries zarvel.exe's version record ($version)"
