#!/usr/bin/env bash
# Checks a built zarvel.exe as Windows will load it: a GUI executable for its
# processor that imports only the system's DLLs, with the three dialog
# templates control by control, icon group 100 of a 16 x 16 and a 32 x 32
# image in 256 colours, the manifest and the version record, whose version
# is the one the build's version.h gives.
#   tests/ui/check_resources.sh EXE ARCH VERSION_H
#     ARCH: X86 (the release) or amd64; VERSION_H: build/PRESET/src/generated/version.h
set -euo pipefail
exe=$1
arch=$2
version_h=$3

fail() {
    echo "resources: FAIL ($exe): $*" >&2
    exit 1
}

version_value() { sed -n "s/^#define ZARVEL_VERSION_$1 \(.*\)$/\1/p" "$version_h" | tr -d '"'; }
quad=$(version_value QUAD)
display=$(version_value DISPLAY)
[[ -n $quad && -n $display ]] || fail "no version in $version_h"

case $arch in
    X86) kind='PE32 executable (GUI) Intel 80386'; tools=i686-w64-mingw32 ;;
    amd64) kind='PE32+ executable (GUI) x86-64'; tools=x86_64-w64-mingw32 ;;
    *) fail "unknown architecture $arch" ;;
esac
[[ $(file -b "$exe") == "$kind"* ]] || fail "file says: $(file -b "$exe")"

# With the C and C++ runtimes linked in, nothing is left to ship beside it.
while read -r dll; do
    case ${dll^^} in
        KERNEL32.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | COMCTL32.DLL | COMDLG32.DLL | SHELL32.DLL | \
            WINMM.DLL | MSVCRT.DLL) ;;
        *) fail "imports $dll, which is not part of the system" ;;
    esac
done < <($tools-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p')

rc=$($tools-windres -i "$exe" -O rc)

# The templates exactly as the dialog manager gets them (windres writes an
# id of -1 as 65535).
dialog() { awk -v head="$1" '$0 == head { on = 1 } on { print } on && $0 == "END" { exit }' <<<"$rc"; }

expect_dialog() {
    local got
    got=$(dialog "$(head -n 1 <<<"$1")")
    [[ $got == "$1" ]] || fail "dialog differs:"$'\n'"$(diff <(echo "$1") <(echo "$got") || true)"
}

expect_dialog '101 DIALOG 0, 0, 122, 78
STYLE 0x80ca08c0
CAPTION "Zarvel"
FONT 8, "MS Sans Serif"
BEGIN
  CONTROL "Play", 102, "BUTTON", 0x50010000, 1, 2, 30, 14
  CONTROL "Stop", 103, "BUTTON", 0x50010000, 31, 2, 30, 14
  CONTROL "Load", 104, "BUTTON", 0x50010001, 61, 2, 30, 14
  CONTROL "About", 105, "BUTTON", 0x50010000, 91, 2, 30, 14
  CONTROL "Conf", 106, "BUTTON", 0x50010000, 1, 46, 30, 14
  CONTROL "Exit", 1, "BUTTON", 0x50010000, 31, 46, 30, 14
  CONTROL "", 107, "LISTBOX", 0x50b04101, 1, 16, 120, 30
  CONTROL "", 135, "SCROLLBAR", 0x50008000, 2, 70, 60, 6
  CONTROL "", 138, "SCROLLBAR", 0x50008000, 62, 70, 60, 6
  CONTROL "", 133, "COMBOBOX", 0x50210003, 61, 46, 30, 81
  CONTROL "1", 130, "BUTTON", 0x50011003, 91, 46, 10, 10
  CONTROL "2", 131, "BUTTON", 0x50011003, 101, 46, 10, 10
  CONTROL "3", 132, "BUTTON", 0x50011003, 111, 46, 10, 10
  CONTROL "Filter", 65535, "STATIC", 0x50020000, 75, 60, 29, 10
  CONTROL "50 Hz", 108, "STATIC", 0x50020000, 10, 60, 29, 10
  CONTROL "100%", 136, "STATIC", 0x50020000, 40, 60, 20, 10
  CONTROL "100%", 139, "STATIC", 0x50020000, 95, 60, 20, 10
END'

expect_dialog '111 DIALOG 0, 0, 152, 145
STYLE 0x80c800c0
CAPTION "Zarvel Preferences"
FONT 8, "MS Sans Serif"
BEGIN
  CONTROL "OK", 113, "BUTTON", 0x50010001, 90, 70, 50, 14
  CONTROL "CANCEL", 114, "BUTTON", 0x50010000, 90, 85, 50, 14
  CONTROL "", 115, "LISTBOX", 0x50a10101, 7, 15, 138, 50
  CONTROL "MIDI Out", 65535, "BUTTON", 0x50000007, 4, 5, 144, 63
  CONTROL "Always on top", 116, "BUTTON", 0x50010003, 15, 70, 70, 14
  CONTROL "Lengths...", 117, "BUTTON", 0x50010000, 15, 85, 45, 14
  CONTROL "None", 118, "BUTTON", 0x50010000, 60, 85, 25, 14
  CONTROL "", 119, "STATIC", 0x50008000, 7, 102, 138, 8
  CONTROL "Extra SIDs", 65535, "STATIC", 0x50020000, 7, 117, 40, 8
  CONTROL "", 120, "COMBOBOX", 0x50010003, 50, 115, 95, 40
  CONTROL "Changes only", 121, "BUTTON", 0x50010003, 7, 129, 70, 14
END'

expect_dialog '140 DIALOG 20, 0, 120, 55
STYLE 0xc000c0
CAPTION "About Zarvel"
FONT 8, "MS Sans Serif"
BEGIN
  CONTROL "OK", 141, "BUTTON", 0x50010001, 70, 8, 30, 14
  CONTROL "Zarvel '"$display"'", 65535, "STATIC", 0x50020000, 7, 30, 150, 8
  CONTROL 100, 65535, "STATIC", 0x50000003, 7, 5, 0, 0
END'

# Icon group 100: width, height, colour count 0 (256 or more), 1 plane, 8 bits.
icons=$(awk '/^100 14 /{ on = 1 } on && /Element no/ { print $1, $2, $3 } on && /^END/ { exit }' <<<"$rc")
[[ $icons == $'"\\020\\020\\000\\000", 1, 8,\n"\\040\\040\\000\\000", 1, 8,' ]] ||
    fail "icon group 100 is not a 16 x 16 and a 32 x 32 image of 256 colours: $icons"

# The manifest, its string pieces joined again.
manifest=$(awk '/^1 24 /{ on = 1; next } on && /^END/ { exit } on' <<<"$rc" | sed 's/^ *"//; s/"$//' | tr -d '\n' |
    sed 's/\\n//g; s/""/"/g')
for part in \
    "<assemblyIdentity type=\"win32\" name=\"Osket.Zarvel\" version=\"$quad\" processorArchitecture=\"$arch\"/>" \
    '<description>Replays SID-files on a Sidstation</description>' \
    "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"$arch\"" \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' \
    '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, System</dpiAwareness>'; do
    [[ $manifest == *"$part"* ]] || fail "the manifest lacks $part"
done

numbers=${quad//./, }
grep -q "^ FILEVERSION $numbers\$" <<<"$rc" || fail "no file version $quad in the version record"
grep -q "^ PRODUCTVERSION $numbers\$" <<<"$rc" || fail "no product version $quad in the version record"
grep -q "VALUE \"FileVersion\", \"$quad\"" <<<"$rc" || fail "no FileVersion text $quad"
grep -q "VALUE \"ProductVersion\", \"$display\"" <<<"$rc" || fail "no ProductVersion text $display"
grep -q 'VALUE "FileDescription", "Replays SID-files on a Sidstation"' <<<"$rc" || fail "no file description"
echo "resources: $exe is a $arch GUI program with dialogs 101, 111, 140, icon 100, its manifest and version"
