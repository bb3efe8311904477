#!/usr/bin/env bash
# The installer under Wine, used as an administrator would: a silent install
# with the .sid association, the installed program started by a double-click
# on a tune (which it plays) and handed a second tune while it runs, then a
# silent uninstall that leaves nothing behind. Wine here runs no 32-bit
# program, so this is the same installer script built around the x86_64 test
# build: the "installer" target of build/mingw-x64.
#
# Output in build/mingw-x64/installer-test: wine.log, installed-window.png (the
# installed program's window), failure.png when a step fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build/mingw-x64
work=$build/installer-test
mkdir -p "$work"
work=$(cd "$work" && pwd)
log=$work/wine.log
rm -f "$work/failure.png" "$work/installed-window.png"
: >"$log"

version=$(sed -n 's/^#define ZARVEL_VERSION "\(.*\)"$/\1/p' $build/src/generated/version.h)
setup=$build/packages/zarvel-$version-win64-setup.exe
staged_exe=$build/packaging/installer-files/zarvel.exe
driver_exe=$build/tests/ui/zarvel-driver.exe
winmm=$build/standin/winmm.dll
for file in "$setup" "$staged_exe" "$driver_exe" "$winmm"; do
    [[ -f $file ]] || { echo "installer: $file must be built first" >&2; exit 1; }
done

fail() {
    echo "installer: FAIL: $*" >&2
    import -window root "$work/failure.png" 2>/dev/null || true
    echo "installer: screen at the failure: $work/failure.png; Wine's output: $log" >&2
    exit 1
}

step() { echo "installer: $*"; }

source tests/ui/wine_session.sh
# The stand-in winmm.dll, once put beside the installed program, records what
# it plays; no Mono or Gecko installers.
export WINEDLLOVERRIDES="winmm=n,b;mscoree=;mshtml="
export ZARVEL_WINMM_RECORD='C:\zarvel-installer-test\record.txt'
start_wine_session

tests=$WINEPREFIX/drive_c/zarvel-installer-test
installed="$WINEPREFIX/drive_c/Program Files/Zarvel"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zarvel.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zarvel'
sid_key='HKLM\Software\Classes\.sid'
progid_key='HKLM\Software\Classes\Zarvel.Tune'

reg_query() { timeout 60 wine reg query "$@" 2>>"$log"; }
# One value's data, as reg query prints it: "    NAME    REG_SZ    DATA".
reg_value() {  # KEY NAME ("" for the default value)
    local output
    if [[ -z $2 ]]; then output=$(reg_query "$1" /ve) || return 0; else output=$(reg_query "$1" /v "$2") || return 0; fi
    sed -n 's/^ \+\S\+ \+REG_[A-Z_]\+ \+//p' <<<"$output" | tr -d '\r'
}
expect() {  # WHAT ACTUAL EXPECTED
    [[ $2 == "$3" ]] || fail "$1: expected [$3], got [$2]"
}

# Whatever a run that failed half-way left behind, the keys in one go.
rm -rf "$installed" "$shortcut" "$tests"
mkdir -p "$tests"
{
    echo REGEDIT4
    for key in "$uninstall_key" "$sid_key" "$progid_key" 'HKCU\Software\Osket'; do
        key=${key/#HKLM/HKEY_LOCAL_MACHINE}
        echo "[-${key/#HKCU/HKEY_CURRENT_USER}]"
    done
} >"$tests/clean.reg"
timeout 60 wine regedit /s 'C:\zarvel-installer-test\clean.reg' >>"$log" 2>&1 || fail "regedit cannot clean up"
cp "$driver_exe" "$setup" "$tests/"
drv() { timeout 60 wine "$tests/zarvel-driver.exe" "$@"; }

eventually() {  # WHAT EXPECTED COMMAND...
    local what=$1 expected=$2 got=
    shift 2
    for _ in $(seq 50); do
        got=$("$@") && [[ $got == "$expected" ]] && return 0
        sleep 0.2
    done
    fail "$what: expected [$expected], got [$got]"
}

zarvel_runs() { pgrep -f 'Program Files.Zarvel.zarvel\.exe' >/dev/null; }

run_setup() {  # ARGUMENTS
    drv run "C:\\zarvel-installer-test\\$(basename "$setup")" "$1" 50000 >"$work/run.txt" 2>>"$log" ||
        fail "the installer did not finish"
    expect "installer exit" "$(cat "$work/run.txt")" "exit=0"
}

step "setup.exe /S installs without a question and leaves .sid files alone; /S /ASSOCIATE over it associates them"
run_setup /S
[[ -f $installed/zarvel.exe ]] || fail "zarvel.exe is not installed"
! reg_query "$progid_key" >/dev/null || fail "the association was made though not asked for"
expect ".sid files without the association" "$(reg_value "$sid_key" '')" ""
run_setup '/S /ASSOCIATE'
for file in zarvel.exe README.txt LICENSE.txt uninstall.exe; do
    [[ -f $installed/$file ]] || fail "$file is not installed"
done
cmp -s "$installed/zarvel.exe" "$staged_exe" || fail "the installed zarvel.exe is not the one packed"
[[ -f $shortcut ]] || fail "no Start-menu shortcut"
program='C:\Program Files\Zarvel'
expect "DisplayName" "$(reg_value "$uninstall_key" DisplayName)" "Zarvel"
expect "DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" "$version"
expect "Publisher" "$(reg_value "$uninstall_key" Publisher)" "Osket"
expect "InstallLocation" "$(reg_value "$uninstall_key" InstallLocation)" "$program"
expect "UninstallString" "$(reg_value "$uninstall_key" UninstallString)" "\"$program\\uninstall.exe\""
expect "QuietUninstallString" "$(reg_value "$uninstall_key" QuietUninstallString)" "\"$program\\uninstall.exe\" /S"
timeout 60 wine uninstaller --list 2>>"$log" | tr -d '\r' | grep -q '|||Zarvel$' ||
    fail "Add/Remove Programs does not list Zarvel"
expect ".sid files with the association" "$(reg_value "$sid_key" '')" "Zarvel.Tune"
expect "open command" "$(reg_value "$progid_key\\shell\\open\\command" '')" "\"$program\\zarvel.exe\" /play \"%1\""

step "a double-click on a tune starts the installed Zarvel, which plays it; a second tune goes to the running copy"
cp "$winmm" "$installed/"
drv make-tune melody 'C:\zarvel-installer-test\melody.sid' || fail "cannot write the test tunes"
drv make-tune multisong 'C:\zarvel-installer-test\A B.sid'
timeout 60 wine start 'C:\zarvel-installer-test\melody.sid' >>"$log" 2>&1 || fail "start cannot open melody.sid"
drv wait-window Zarvel 15000 >/dev/null || fail "the installed program shows no window titled Zarvel"
eventually "the double-clicked tune" $'Zarvel Test Melody\nOsket Test Room\n2026 Zarvel tests' drv lines Zarvel 107
expect "it plays" "$(drv text Zarvel 102)" "Pause"
import -window root "$work/screen.png"
geometry=$(drv window Zarvel | tr -d '\r' | awk -F= '{ v[$1] = $2 } END { print v["width"] "x" v["height"] "+" v["left"] "+" v["top"] }')
convert "$work/screen.png" -crop "$geometry" +repage "$work/installed-window.png"
rm -f "$work/screen.png"
sleep 0.5
timeout 60 wine start 'C:\zarvel-installer-test\A B.sid' >>"$log" 2>&1 || fail "start cannot open A B.sid"
eventually "the tune handed to the running copy" $'Zarvel Test Multisong\nOsket Test Room\n2026 Zarvel tests' \
    drv lines Zarvel 107
sleep 0.5
drv click Zarvel 1 || fail "Exit not handled"
drv wait-gone Zarvel 5000 || fail "the window did not close"
for _ in $(seq 50); do zarvel_runs || break; sleep 0.2; done
zarvel_runs && fail "zarvel.exe did not end"
starts=$(drv summary "$ZARVEL_WINMM_RECORD" | tr -d '\r' | grep '^reset ' | paste -sd'|')
expect "tunes played" "$starts" 'reset name="Zarvel Test Melody"|reset name="Zarvel Test Multisong"'
rm "$installed/winmm.dll"

step "uninstall.exe /S _?=INSTALLDIR removes the files, the shortcut, the association and the Add/Remove entry"
drv run "$program\\uninstall.exe" "/S _?=$program" 50000 >"$work/run.txt" 2>>"$log" ||
    fail "the uninstaller did not finish"
expect "uninstaller exit" "$(cat "$work/run.txt")" "exit=0"
for file in zarvel.exe README.txt LICENSE.txt; do
    [[ ! -e $installed/$file ]] || fail "$file is still installed"
done
[[ ! -e $shortcut ]] || fail "the Start-menu shortcut is still there"
for key in "$uninstall_key" "$progid_key" "$sid_key"; do
    ! reg_query "$key" >/dev/null || fail "$key is still in the registry"
done
timeout 60 wine uninstaller --list 2>>"$log" | tr -d '\r' | grep -q '|||Zarvel$' &&
    fail "Add/Remove Programs still lists Zarvel"
# With _?= the uninstaller runs from the folder and cannot remove itself.
rm -rf "$installed"

echo "installer: installed, played, handed over, uninstalled; the window is in $work/installed-window.png"
