#!/usr/bin/env bash
# The Windows program's scenarios under Wine, run by scripts/test.d/50-wine-ui.sh
# after the mingw-x64 build: the real zarvel.exe with the stand-in winmm.dll
# beside it, on a display of its own, worked by zarvel-driver.exe through its
# windows. Evidence comes from three places: the window texts the driver
# reads, the stand-in MIDI devices' recording of every event they played,
# and the registry.
#
# Everything lives under build/mingw-x64/wine-ui: the Wine prefix (kept
# between runs, as its first set-up takes a while), the program folder, the
# tunes, wine.log, and main-window.png, a screenshot of the main window with
# a tune loaded.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build/mingw-x64
work=$build/wine-ui
mkdir -p "$work"
work=$(cd "$work" && pwd)
log=$work/wine.log
rm -f "$work/failure.png"  # from an earlier run
: >"$log"

exe=$build/src/ui/zarvel.exe
driver_exe=$build/tests/ui/zarvel-driver.exe
# The stand-in, wherever the build put it (not the copy in our own prefix).
winmm=$(find "$build" -path "$build/wine-ui" -prune -o -name winmm.dll -print -quit)
if [[ ! -f $exe || ! -f $driver_exe || -z $winmm ]]; then
    echo "wine-ui: zarvel.exe, zarvel-driver.exe and the stand-in winmm.dll must all be built" >&2
    exit 1
fi

source tests/ui/wine_session.sh
# Our winmm.dll from the program's folder; no Mono or Gecko installers.
export WINEDLLOVERRIDES="winmm=n,b;mscoree=;mshtml="
export ZARVEL_WINMM_RECORD='C:\zarvel\record.txt'
program=$WINEPREFIX/drive_c/zarvel
record_file=$program/record.txt

fail() {
    echo "wine-ui: FAIL: $*" >&2
    import -window root "$work/failure.png" 2>/dev/null || true
    echo "wine-ui: screen at the failure: $work/failure.png; Wine's output: $log" >&2
    exit 1
}

step() { echo "wine-ui: $*"; }

# --- display and Wine --------------------------------------------------------

start_wine_session

mkdir -p "$program" "$WINEPREFIX/drive_c/tunes"
cp "$exe" "$winmm" "$driver_exe" "$program/"

drv() { timeout 60 wine "$program/zarvel-driver.exe" "$@"; }

expect() {  # WHAT ACTUAL EXPECTED
    [[ $2 == "$3" ]] || fail "$1: expected [$3], got [$2]"
}

expect_match() {  # WHAT ACTUAL REGEX
    [[ $2 =~ $3 ]] || fail "$1: [$2] does not match [$3]"
}

# For a read right after a command that the window carries out partly while
# it waits for the player's threads (a load): those waits let messages sent
# from other threads and programs through, the driver's reads among them, so
# a read may come while the command is still under way.
eventually() {  # WHAT EXPECTED COMMAND...
    local what=$1 expected=$2 got=
    shift 2
    for _ in $(seq 25); do
        got=$("$@") && [[ $got == "$expected" ]] && return 0
        sleep 0.2
    done
    fail "$what: expected [$expected], got [$got]"
}

# A window's property from "drv window TITLE" (left, top, topmost, owner...).
window_field() { drv window "$1" | sed -n "s/^$2=//p"; }

text_of() { drv text Zarvel "$1"; }

clear_settings() { timeout 60 wine reg delete 'HKCU\Software\Osket' /f >>"$log" 2>&1 || true; }

set_setting() {  # NAME TYPE DATA
    timeout 60 wine reg add 'HKCU\Software\Osket\Zarvel\Config' /v "$1" /t "$2" /d "$3" /f >>"$log" 2>&1
}

pid=
# Starts a fresh copy with exactly this argument text; Wine's own output and
# that of the program go to wine.log.
launch() {
    drv no-window Zarvel 0 || fail "a Zarvel window is still open"
    rm -f "$record_file"
    # zarvel.exe inherits the driver's output; a pipe would stay open as
    # long as the program runs.
    drv launch 'C:\zarvel\zarvel.exe' "$1" >"$work/launch.txt" 2>>"$log" || fail "zarvel.exe did not start"
    pid=$(sed -n 's/^pid=//p' "$work/launch.txt")
    [[ -n $pid ]] || fail "zarvel.exe did not start"
}

main_window_up() { drv wait-window Zarvel 15000 >/dev/null || fail "the main window did not open"; }

# After the window has gone: the process ends (and with it the mutex and
# the stream), so the recording is complete and the next copy can start.
process_ends() {
    drv wait-gone Zarvel 5000 || fail "the main window did not close"
    drv wait-exit "$pid" 10000 >/dev/null || fail "zarvel.exe did not end"
}

exit_button() {
    drv click Zarvel 1 || fail "Exit not handled"
    process_ends
}

summary() { drv summary "$ZARVEL_WINMM_RECORD"; }

# Checks the recording's summary line by line against regular expressions;
# each line must match in order, and nothing may follow.
expect_summary() {  # WHAT REGEX...
    local what=$1 got
    shift
    got=$(summary) || fail "$what: no recording"
    mapfile -t lines <<<"$got"
    [[ ${#lines[@]} -eq $# ]] || fail "$what: expected $# lines in the recording, got:"$'\n'"$got"
    local i=0 pattern
    for pattern in "$@"; do
        [[ ${lines[i]} =~ ^$pattern$ ]] || fail "$what: line $((i + 1)) [${lines[i]}] is not [$pattern]; recording:"$'\n'"$got"
        i=$((i + 1))
    done
    echo "$got"
}

# "frames S A..B xN every T ms": checks the song index, that the run is no
# mere handful, and the mean period in ms.
expect_frames() {  # WHAT LINE SONG MIN_MS MAX_MS
    local song range count every
    read -r _ song range count _ every _ <<<"$2"
    expect "$1: song index" "$song" "$3"
    ((${count#x} >= 5)) || fail "$1: only frames $range"
    awk -v t="$every" -v lo="$4" -v hi="$5" 'BEGIN { exit !(t >= lo && t <= hi) }' ||
        fail "$1: a frame every $every ms, not within $4..$5"
}

frame_range() { read -r _ _ range _ <<<"$1"; echo "$range"; }

reg_value() { drv reg "$1"; }

# "drv box", with the song's time left out of the owner's title.
box_while_playing() { drv box "$1" 10000 | sed -E '1s/^(owner=Zarvel) - [0-9:]+( \/ [0-9:]+)?$/\1/'; }

# --- test tunes ----------------------------------------------------------------

drv make-tune multisong 'C:\tunes\A B.sid' || fail "cannot write the test tunes"
drv make-tune melody 'C:\tunes\melody.sid'
drv make-tune sweep 'C:\tunes\sweep.sid'
drv make-tune mus 'C:\tunes\mus.sid'
drv make-tune zeros 'C:\tunes\zeros.sid'
drv make-tune text 'C:\tunes\text.sid'
drv make-tune slow 'C:\tunes\slow.sid'
rm -f "$WINEPREFIX/drive_c/tunes/missing.sid"
multisong_lines=$'Zarvel Test Multisong\nOsket Test Room\n2026 Zarvel tests'
melody_lines=$'Zarvel Test Melody\nOsket Test Room\n2026 Zarvel tests'
name='name="Zarvel Test Multisong"'

# --- scenarios ---------------------------------------------------------------------

step "a quoted tune path is loaded at start, and nothing plays until Play"
clear_settings
launch '"C:\tunes\A B.sid"'
main_window_up
expect "information list" "$(drv lines Zarvel 107)" "$multisong_lines"
expect "song selector" "$(drv items Zarvel 133)" $'items=1 2 3\nselected=1'
expect "Play button" "$(text_of 102)" "Play"
expect "rate label" "$(text_of 108)" "50 Hz"
expect "speed label" "$(text_of 136)" "100%"
expect "filter label" "$(text_of 139)" "100%"
for id in 130 131 132; do expect "voice switch $id" "$(drv checked Zarvel $id)" "1"; done
expect "speed scale" "$(drv scroll-pos Zarvel 135)" "100"
expect "filter scale" "$(drv scroll-pos Zarvel 138)" "100"
expect "not on top" "$(window_field Zarvel topmost)" "0"
left=$(window_field Zarvel left)
top=$(window_field Zarvel top)
import -window root "$work/screen.png"
read -r width height < <(drv window Zarvel | sed -n 's/^width=//p;s/^height=//p' | paste -sd' ')
convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage "$work/main-window.png"
sleep 0.5
[[ ! -s $record_file ]] || [[ -z $(summary) ]] || fail "something played before Play:"$'\n'"$(summary)"

step "Play, Pause, Stop (does nothing), Play (resume), Exit while playing"
drv click Zarvel 102
expect "Play button after Play" "$(text_of 102)" "Pause"
sleep 1
drv click Zarvel 102
expect "Play button after Pause" "$(text_of 102)" "Play"
sleep 0.4
drv click Zarvel 103
expect "Play button after Stop while paused" "$(text_of 102)" "Play"
sleep 0.3
drv click Zarvel 102
expect "Play button after resume" "$(text_of 102)" "Pause"
expect "rate label of song 2" "$(text_of 108)" "60 Hz"
sleep 0.8
left=$(window_field Zarvel left)
top=$(window_field Zarvel top)
exit_button
got=$(expect_summary "play, pause, resume, exit" \
    "reset $name" "init" "frames .*" "mute mute" "volume=1f x2" "frames .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "frames before the pause" "${lines[2]}" 1 12 20
expect_frames "frames after the resume" "${lines[5]}" 1 12 20
before=$(frame_range "${lines[2]}")
after=$(frame_range "${lines[5]}")
# The play call made just before the pause is never sent: its writes gave
# way to the mute frames, so the (7-bit) count skips one.
expect "first frame after the resume" "${after%..*}" "$(((${before#*..} + 2) & 127))"

# The first start chose the first output, the one that played.
expect "midi_out" "$(reg_value midi_out)" "type=REG_DWORD size=4 value=0"
expect "xpos" "$(reg_value xpos)" "type=REG_DWORD size=4 value=$left"
expect "ypos" "$(reg_value ypos)" "type=REG_DWORD size=4 value=$top"
expect "ontop" "$(reg_value ontop)" "type=REG_DWORD size=4 value=0"
expect "oldpath" "$(reg_value oldpath)" 'type=REG_SZ size=260 value=C:\tunes\A B.sid'
timeout 60 wine reg query 'HKCU\Software\Osket\Zarvel\Config' >"$work/registry.txt" 2>>"$log" ||
    fail "reg query cannot read the settings"
for value in midi_out xpos ypos ontop; do
    grep -Eq "^ +$value +REG_DWORD +0x" "$work/registry.txt" || fail "reg query does not list $value as REG_DWORD"
done
grep -Eq '^ +oldpath +REG_SZ +C:\\tunes\\A B.sid' "$work/registry.txt" || fail "reg query does not list oldpath"

step "a song change while playing: mute frames, then the new song from its init; the window stays responsive"
launch '"C:\tunes\A B.sid"'
main_window_up
expect "stored position restored" "$(window_field Zarvel left),$(window_field Zarvel top)" "$left,$top"
drv click Zarvel 102
sleep 0.6
started=$(date +%s%N)
drv select Zarvel 133 2 || fail "the song change hung the window"
took_ms=$((($(date +%s%N) - started) / 1000000))
((took_ms < 3000)) || fail "the song change took $took_ms ms"
drv alive Zarvel >/dev/null || fail "the window does not answer after the song change"
# Latch 10,000 underflows every 10,001 cycles of 985,248 Hz: 98.5 Hz, shown rounded.
eventually "rate label of song 3" "99 Hz" text_of 108
expect "Play button keeps Pause" "$(text_of 102)" "Pause"
sleep 0.6
drv select Zarvel 133 0 || fail "the second song change hung the window"
eventually "rate label of song 1" "50 Hz" text_of 108
sleep 0.6
drv select Zarvel 133 0  # the same song again: nothing happens
sleep 0.2
exit_button
got=$(expect_summary "song changes" \
    "reset $name" "init" "frames .*" "mute mute" \
    "reset $name" "init" "frames .*" "mute mute" \
    "reset $name" "init" "frames .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "song 2 before the change" "${lines[2]}" 1 12 20
expect_frames "song 3 after the change" "${lines[6]}" 2 8 13
expect_frames "song 1 after the second change" "${lines[10]}" 0 16 25
for i in 6 10; do expect "a new song counts from its first call" "$(frame_range "${lines[i]}" | cut -d. -f1)" "1"; done

# The device that played each start's reset frame, one line per start.
reset_devices() { drv record "$ZARVEL_WINMM_RECORD" | awk -F'\t' '$4 ~ /^reset/ { print $2 }'; }

# The worker rewrites the rate label on nearly every pass of this tune. Were
# that a SendMessage to the UI thread, Load's wait for the worker would never
# end, and a song change's wait would stall the worker behind it.
step "a rate that changes on every call: song change and Load while the worker keeps rewriting the label"
launch '"C:\tunes\sweep.sid"'
main_window_up
drv click Zarvel 102
sleep 0.5
# Latches 8,224 to 16,160: 985,248 Hz over their mean gap lies in 61..120 Hz.
expect_match "rate label while sweeping" "$(text_of 108)" '^([6-9][0-9]|1[01][0-9]|120) Hz$'
drv select Zarvel 133 1 || fail "the song change hung the window"
drv alive Zarvel >/dev/null || fail "the window does not answer after the song change"
sleep 0.4
drv post-click Zarvel 104
drv open-choose 'C:\tunes\melody.sid'
drv wait-gone Open 5000 || fail "the Open dialog did not close"
drv alive Zarvel >/dev/null || fail "the window does not answer after Load"
eventually "loaded while sweeping" "$melody_lines" drv lines Zarvel 107
expect "Play button keeps Pause" "$(text_of 102)" "Pause"
sleep 0.5
expect "rate label of the new tune" "$(text_of 108)" "50 Hz"
exit_button
got=$(summary)
sweep_starts=$(grep -c '^reset name="Zarvel Test Sweep"$' <<<"$got" || true)
expect "starts of the sweep tune" "$sweep_starts" "2"
expect_match "the new tune starts and plays" "$(tail -n 4 <<<"$got" | paste -sd'|')" \
    '^reset name="Zarvel Test Melody"\|init\|frames 0 1\.\.[0-9]+ x[0-9]+ every (1[6-9]|2[0-5])\.[0-9] ms\|mute mute$'

step "Preferences: the stand-in's two devices, the choice used at the next start, always on top once it closes"
clear_settings
launch '"C:\tunes\melody.sid"'
main_window_up
drv click Zarvel 102
sleep 0.4
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
expect "device list" "$(drv lines 'Zarvel Preferences' 115)" $'Zarvel Capture A\nZarvel Capture B'
expect "the output in use shown at the first start" "$(drv selected 'Zarvel Preferences' 115)" "0"
expect "always on top unchecked" "$(drv checked 'Zarvel Preferences' 116)" "0"
drv command "Zarvel Preferences" 2  # Escape
expect "Escape keeps Preferences open" "$(drv text 'Zarvel Preferences')" "Zarvel Preferences"
drv list-select "Zarvel Preferences" 115 1
drv click "Zarvel Preferences" 116
expect "not on top while Preferences is open" "$(window_field Zarvel topmost)" "0"
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
expect "on top once Preferences has closed" "$(window_field Zarvel topmost)" "1"
sleep 0.3
drv click Zarvel 103  # the tune plays on the old device until the next start
sleep 0.3
drv click Zarvel 102
sleep 0.5
exit_button
expect "devices of the two starts" "$(reset_devices)" $'Zarvel Capture A\nZarvel Capture B'
expect "last events on the chosen device" "$(drv record "$ZARVEL_WINMM_RECORD" | tail -n 1 | cut -f2)" "Zarvel Capture B"
expect "midi_out stored" "$(reg_value midi_out)" "type=REG_DWORD size=4 value=1"
expect "ontop stored" "$(reg_value ontop)" "type=REG_DWORD size=4 value=1"

launch '"C:\tunes\melody.sid"'
main_window_up
expect "on top at start" "$(window_field Zarvel topmost)" "1"
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
expect "stored device selected" "$(drv selected 'Zarvel Preferences' 115)" "1"
expect "always on top checked" "$(drv checked 'Zarvel Preferences' 116)" "1"
drv click "Zarvel Preferences" 116
drv click "Zarvel Preferences" 114  # CANCEL
drv wait-gone "Zarvel Preferences" 5000 || fail "CANCEL did not close Preferences"
expect "CANCEL changes nothing" "$(window_field Zarvel topmost)" "1"
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
drv click "Zarvel Preferences" 116
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
expect "not on top once switched off" "$(window_field Zarvel topmost)" "0"
exit_button
expect "ontop stored off" "$(reg_value ontop)" "type=REG_DWORD size=4 value=0"

step "scales and voice switches while playing"
clear_settings
launch '"C:\tunes\melody.sid"'
main_window_up
drv click Zarvel 102
sleep 0.3
drv scroll Zarvel 135 5 20  # dragged to the left end
expect "speed at its left end" "$(text_of 136),$(text_of 108),$(drv scroll-pos Zarvel 135)" "20%,10 Hz,20"
drv scroll Zarvel 135 0  # a click left of the thumb at 20
expect "no further left" "$(text_of 136)" "20%"
drv scroll Zarvel 135 5 200
expect "speed at its right end" "$(text_of 136),$(text_of 108),$(drv scroll-pos Zarvel 135)" "200%,100 Hz,200"
drv scroll Zarvel 135 1
expect "no further right" "$(text_of 136)" "200%"
drv scroll Zarvel 135 2  # a page is one unit
expect "page left" "$(text_of 136),$(text_of 108)" "199%,100 Hz"  # 50.125 Hz x 1.99, rounded
drv scroll Zarvel 135 3
drv scroll Zarvel 135 8  # SB_ENDSCROLL only rewrites the labels
expect "page right" "$(text_of 136),$(text_of 108),$(drv scroll-pos Zarvel 135)" "200%,100 Hz,200"
drv scroll Zarvel 138 5 50
expect "filter scale" "$(text_of 139),$(drv scroll-pos Zarvel 138)" "50%,50"
sleep 0.3
drv click Zarvel 130
expect "voice 1 off" "$(drv checked Zarvel 130)" "0"
sleep 0.3
drv click Zarvel 130
expect "voice 1 on" "$(drv checked Zarvel 130)" "1"
sleep 0.5
exit_button
# With voice 1 off its frequency goes out as 0 in every frame.
got=$(expect_summary "scales and voices" \
    'reset name="Zarvel Test Melody"' "init" "frames .*" "frame=0.0 x[0-9]+" "frames .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "frames at 200 %" "${lines[4]}" 0 8 13

# The program waits for its mute frames and no longer: they are the last
# event the device plays, empty ones included.
expect_mute_last() { expect "$1: the last event played" "$(drv record "$ZARVEL_WINMM_RECORD" | tail -n 1 | cut -f4)" "mute mute"; }

step "the close box while playing: the mute frames play before the program ends; settings saved"
clear_settings
launch '"C:\tunes\melody.sid"'
main_window_up
drv click Zarvel 102
sleep 0.5
drv close Zarvel
process_ends
expect_summary "close box" 'reset name="Zarvel Test Melody"' "init" "frames .*" "mute mute" >/dev/null
expect_mute_last "close box"
expect "settings saved" "$(reg_value ontop)" "type=REG_DWORD size=4 value=0"

step "the session ends while playing: mute frames and settings before the system may end the process"
clear_settings
launch '"C:\tunes\melody.sid"'
main_window_up
drv click Zarvel 102
sleep 0.5
drv end-session Zarvel || fail "the window did not take the session's end"
expect_summary "session end" 'reset name="Zarvel Test Melody"' "init" "frames .*" "mute mute" >/dev/null
expect_mute_last "session end"
expect "settings saved at the session's end" "$(reg_value ontop)" "type=REG_DWORD size=4 value=0"
exit_button
expect_summary "nothing after the session's end" 'reset name="Zarvel Test Melody"' "init" "frames .*" "mute mute" \
    >/dev/null

# 15 Hz is the slowest rate, and at 20 % speed a play period lasts 333 ms.
slow_start() {
    launch '"C:\tunes\slow.sid"'
    main_window_up
    drv scroll Zarvel 135 5 20
    drv click Zarvel 102
    eventually "rate label of the slow tune at 20 %" "3 Hz" text_of 108
    sleep 2.5
}

step "Stop then Exit within one period of a 15 Hz tune at 20 %: the mute frames reach the device before the end"
slow_start
within=$(drv clicks Zarvel 103 1) || fail "Stop then Exit not handled"
((within < 333)) || fail "Stop and Exit came $within ms apart, more than a period"
process_ends
expect_summary "stop then exit" 'reset name="Zarvel Test Slow"' "init" "frames 0 .*" "mute mute" >/dev/null
expect_mute_last "stop then exit"

step "a song change at 15 Hz and 20 %: the window answers at once while the worker mutes and starts the new song"
slow_start
answered=$(drv select-answer Zarvel 133 1) || fail "the window did not answer the song change"
echo "wine-ui: the window repainted $answered ms after the song change"
((answered <= 100)) || fail "the window answered the song change only after $answered ms"
sleep 2.5
exit_button
expect_summary "slow song change" 'reset name="Zarvel Test Slow"' "init" "frames 0 .*" "mute mute" \
    'reset name="Zarvel Test Slow"' "init" "frames 1 .*" "mute mute" >/dev/null

step "/play starts the tune; a second copy hands its tune over and exits, and the running copy plays it"
clear_settings
launch '/play "C:\tunes\melody.sid"'
main_window_up
expect "information list" "$(drv lines Zarvel 107)" "$melody_lines"
expect "Play button after /play" "$(text_of 102)" "Pause"
sleep 0.5
drv click Zarvel 103
expect "Play button after Stop" "$(text_of 102)" "Play"
drv run 'C:\zarvel\zarvel.exe' '"C:\tunes\A B.sid"' 10000 >"$work/run.txt" 2>>"$log" ||
    fail "the second copy did not end"
expect "second copy" "$(cat "$work/run.txt")" "exit=0"
eventually "the handed tune" "$multisong_lines" drv lines Zarvel 107
expect "the handed tune plays" "$(text_of 102)" "Pause"
sleep 0.5
drv run 'C:\zarvel\zarvel.exe' "\"C:\\tunes\\$(printf 'x%.0s' {1..300}).sid\"" 10000 >"$work/run.txt" 2>>"$log" ||
    fail "a second copy with too long a path did not end"
expect "too long a handed path" "$(box_while_playing OK)" $'owner=Zarvel\ntext=Couldn\'t open file.'
expect "the tune plays on" "$(text_of 102),$(drv lines Zarvel 107)" "Pause,$multisong_lines"
drv run 'C:\zarvel\zarvel.exe' '' 10000 >"$work/run.txt" 2>>"$log" || fail "a second copy without a tune did not end"
expect "second copy without a tune" "$(cat "$work/run.txt")" "exit=0"
drv no-window OK 300 || fail "the second copy showed a message"
expect "running copy keeps its tune" "$(drv lines Zarvel 107)" "$multisong_lines"
# While a dialog of the window is open the handed tune waits for it.
drv post-click Zarvel 105
drv wait-window "About Zarvel" 5000 || fail "no About box"
drv run 'C:\zarvel\zarvel.exe' '/play "C:\tunes\melody.sid"' 10000 >"$work/run.txt" 2>>"$log" ||
    fail "the second copy did not end while the About box was open"
expect "second copy while the About box is open" "$(cat "$work/run.txt")" "exit=0"
sleep 0.3
expect "nothing loaded under the About box" "$(drv lines Zarvel 107)" "$multisong_lines"
drv command "About Zarvel" 2
drv wait-gone "About Zarvel" 5000 || fail "Escape did not close the About box"
eventually "the handed tune after the About box" "$melody_lines" drv lines Zarvel 107
sleep 0.5
drv command Zarvel 2  # Escape
drv alive Zarvel >/dev/null || fail "the window does not answer after Escape"
expect_match "Escape does not close the window" "$(drv text Zarvel)" '^Zarvel( - [0-9:]+)?$'
exit_button
got=$(expect_summary "handed tunes" \
    'reset name="Zarvel Test Melody"' "init" "frames .*" "mute mute" \
    "reset $name" "init" "frames .*" "mute mute" \
    'reset name="Zarvel Test Melody"' "init" "frames .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "the handed tune" "${lines[6]}" 1 12 20

step "a missing file, a non-PSID file and MUS data show their messages and \"No loaded tune.\""
clear_settings
launch '"C:\tunes\missing.sid"'
# Each message: the window's own words, then the file and the system's or
# the format's reason (load_message.cpp; strerror(ENOENT) of the C runtime).
expect "missing file" "$(drv box OK 15000)" \
    $'owner=Zarvel\ntext=Couldn\'t open file.\n\nC:\\tunes\\missing.sid\ncannot open the file: No such file or directory'
main_window_up
eventually "information list" "No loaded tune." drv lines Zarvel 107
drv click Zarvel 102
expect "Play without a tune does nothing" "$(text_of 102)" "Play"
drv post-click Zarvel 104
expect "Open dialog starts with the last path" "$(drv open-name 10000)" "missing.sid"
drv open-choose 'C:\tunes\text.sid'
expect "not a PSID file" "$(drv box OK 10000)" \
    $'owner=Zarvel\ntext=Not a PSID-file?\n\nC:\\tunes\\text.sid\nnot a PSID file: it does not begin with "PSID" or "RSID"'
eventually "information list" "No loaded tune." drv lines Zarvel 107
drv post-click Zarvel 104
drv open-choose 'C:\tunes\mus.sid'
expect "MUS data" "$(drv box OK 10000)" \
    $'owner=Zarvel\ntext=What is MUS?\n\nC:\\tunes\\mus.sid\nnot a playable tune: the file holds Sidplayer MUS data, not 6502 code'
eventually "information list" "No loaded tune." drv lines Zarvel 107
drv post-click Zarvel 104
drv open-choose 'C:\tunes\melody.sid'
drv no-window OK 500 || fail "a good tune showed a message"
eventually "loaded through the Open dialog" "$melody_lines" drv lines Zarvel 107
eventually "its song" $'items=1\nselected=0' drv items Zarvel 133
drv post-click Zarvel 104
expect "Open dialog starts with the loaded path" "$(drv open-name 10000)" "melody.sid"
drv open-cancel
drv wait-gone Open 5000 || fail "the Open dialog did not close"
expect "a cancelled Open keeps the tune" "$(drv lines Zarvel 107)" "$melody_lines"
exit_button
expect "the last chosen path persists" "$(reg_value oldpath)" 'type=REG_SZ size=260 value=C:\tunes\melody.sid'

step "an unquoted path is taken whole; a path too long for its buffer is refused"
launch 'C:\tunes\melody.sid'
main_window_up
expect "unquoted path" "$(drv lines Zarvel 107)" "$melody_lines"
exit_button
launch "\"C:\\tunes\\$(printf 'x%.0s' {1..300}).sid\""
expect "too long a path" "$(drv box OK 15000)" $'owner=Zarvel\ntext=Couldn\'t open file.'
main_window_up
eventually "information list" "No loaded tune." drv lines Zarvel 107
exit_button
expect "a refused path is not stored" "$(reg_value oldpath)" 'type=REG_SZ size=260 value=C:\tunes\melody.sid'

step "a header that counts no songs and starts at song 0 offers song 1, selected"
launch '"C:\tunes\zeros.sid"'
main_window_up
expect "song selector" "$(drv items Zarvel 133)" $'items=1\nselected=0'
exit_button

step "stored settings: position and always-on-top, also after a dialog of the window"
set_setting xpos REG_DWORD 100
set_setting ypos REG_DWORD 50
set_setting ontop REG_DWORD 1
launch ''
main_window_up
expect "stored position" "$(window_field Zarvel left),$(window_field Zarvel top)" "100,50"
expect "stored on top" "$(window_field Zarvel topmost)" "1"
expect "no argument loads nothing" "$(drv lines Zarvel 107)" ""
drv post-click Zarvel 105
drv wait-window "About Zarvel" 5000 || fail "no About box"
expect "About box text" "$(drv text 'About Zarvel' 141)" "OK"
drv command "About Zarvel" 2  # Escape closes the About box
drv wait-gone "About Zarvel" 5000 || fail "Escape did not close the About box"
expect "on top after the About box" "$(window_field Zarvel topmost)" "1"
drv close Zarvel  # the close box
process_ends
expect "position kept" "$(reg_value xpos),$(reg_value ypos)" \
    "type=REG_DWORD size=4 value=100,type=REG_DWORD size=4 value=50"
set_setting xpos REG_DWORD 4294967295  # -1: no position, the dialog is centred
launch ''
main_window_up
centred_left=$(window_field Zarvel left)
((centred_left > 100)) || fail "a stored xpos of -1 still moved the window to $centred_left"
exit_button

step "stored values of the wrong size: a short xpos is not a position, a full oldpath is cut to 259 characters"
clear_settings
set_setting xpos REG_BINARY 6400  # two bytes, 100 if taken as the low half of a word
set_setting ypos REG_DWORD 50
set_setting oldpath REG_BINARY "$(printf '41%.0s' {1..260})"  # 260 x "A", no terminating zero
launch ''
main_window_up
expect "a two-byte xpos leaves the window centred" "$(window_field Zarvel left)" "$centred_left"
drv post-click Zarvel 104
expect "Open dialog starts with the stored path, terminated" "$(drv open-name 10000)" "$(printf 'A%.0s' {1..259})"
drv open-cancel
drv wait-gone Open 5000 || fail "the Open dialog did not close"
exit_button

step "song lengths from the stored database: the next song at the end of each, Stop after the last"
clear_settings
tunes=$WINEPREFIX/drive_c/tunes
multisong_md5=$(md5sum "$tunes/A B.sid" | cut -d' ' -f1)
# The start song 2 (16,422 cycles a call, 59.996 Hz) lasts 2 s and song 3
# (latch 10,000: 10,001 cycles, 98.515 Hz) 1.5 s.
printf '[Database]\r\n; /A B.sid\r\n%s=0:05 0:02 0:01.5(G)\r\n' "$multisong_md5" >"$tunes/Songlengths.md5"
set_setting songlengths REG_SZ 'C:\tunes\Songlengths.md5'
launch '"C:\tunes\A B.sid"'
main_window_up
expect "title before Play" "$(drv text Zarvel)" "Zarvel"
drv click Zarvel 102
sleep 0.6
expect_match "title while song 2 plays" "$(drv text 'Zarvel - *')" '^Zarvel - 0:0[01] / 0:02$'
# Once the last song has ended the title is "Zarvel" again.
eventually "title after the last song" "Zarvel" drv text Zarvel
expect "Play button after the last song" "$(text_of 102)" "Play"
expect "the selector followed" "$(drv items Zarvel 133)" $'items=1 2 3\nselected=2'
exit_button
# Each song's frames: the init's, then those of the calls that fill its
# length but the last, whose writes give way to the mute frames. Song 3's
# calls begin at k x 10.151 ms for k = 0..147 (148 x 10.151 ms = 1502 ms is
# past 1.5 s): 148 calls, 147 frames.
got=$(expect_summary "songs played for their lengths" \
    "reset $name" "init" "frames 1 1\.\.119 x119 .*" "mute mute" \
    "reset $name" "init" "frames 2 1\.\.19 x147 .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "song 2" "${lines[2]}" 1 15 19
expect_frames "song 3" "${lines[6]}" 2 9 12
expect "songlengths stored" "$(reg_value songlengths)" 'type=REG_SZ size=25 value=C:\tunes\Songlengths.md5'

step "Preferences: the song-length database shown, cleared with None, chosen with the Open dialog"
launch '"C:\tunes\A B.sid"'
main_window_up
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
expect "database shown" "$(drv text 'Zarvel Preferences' 119)" 'C:\tunes\Songlengths.md5'
drv click "Zarvel Preferences" 118
expect "None shown" "$(drv text 'Zarvel Preferences' 119)" "No song lengths"
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
drv click Zarvel 102
sleep 2.6
expect_match "no database: the elapsed time alone" "$(drv text Zarvel)" '^Zarvel - 0:0[2-9]$'
expect "no database: song 2 plays on" "$(text_of 102)" "Pause"
drv click Zarvel 103
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
drv post-click "Zarvel Preferences" 117
drv open-choose 'C:\tunes\Songlengths.md5'
drv wait-gone Open 5000 || fail "the Open dialog did not close"
expect "chosen database shown" "$(drv text 'Zarvel Preferences' 119)" 'C:\tunes\Songlengths.md5'
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
drv click Zarvel 102
sleep 0.6
expect_match "the loaded tune has its lengths at once" "$(drv text 'Zarvel - *')" '^Zarvel - 0:0[01] / 0:02$'
drv click 'Zarvel - *' 103
exit_button
expect "songlengths stored again" "$(reg_value songlengths)" 'type=REG_SZ size=25 value=C:\tunes\Songlengths.md5'
clear_settings

step "a file that does not load while a tune plays: refused by name and reason, and the tune plays on"
clear_settings
: >"$WINEPREFIX/drive_c/tunes/empty.sid"
launch '"C:\tunes\A B.sid"'
main_window_up
drv click Zarvel 102
sleep 0.6
drv post-click Zarvel 104
drv open-choose 'C:\tunes\empty.sid'
expect "empty file" "$(box_while_playing OK)" \
    $'owner=Zarvel\ntext=Not a PSID-file?\n\nC:\\tunes\\empty.sid\nnot a PSID file: it does not begin with "PSID" or "RSID"'
expect "the tune stays" "$(drv lines Zarvel 107)" "$multisong_lines"
expect "its songs stay" "$(drv items Zarvel 133)" $'items=1 2 3\nselected=1'
expect "it still plays" "$(text_of 102)" "Pause"
sleep 0.6
exit_button
# One unbroken run of frames (counts one apart) across the refused load.
got=$(expect_summary "a refused load while playing" "reset $name" "init" "frames .*" "mute mute")
mapfile -t lines <<<"$got"
expect_frames "frames across the refused load" "${lines[2]}" 1 12 20
expect "the playing tune's path is kept" "$(reg_value oldpath)" 'type=REG_SZ size=260 value=C:\tunes\A B.sid'

step "no MIDI output: Preferences says so, and a start that cannot open one leaves the window stopped"
export ZARVEL_WINMM_DEVICES=';'
launch '"C:\tunes\melody.sid"'
main_window_up
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
expect "empty device list" "$(drv lines 'Zarvel Preferences' 115)" "No MIDI outputs found: connect the synthesizer"
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
drv click Zarvel 102
expect "failed start" "$(box_while_playing Cancel)" $'owner=Zarvel\ntext=Could not allocate Midi Out port'
eventually "Play button after the failed start" "Play" text_of 102
expect "title of a stopped window" "$(drv text Zarvel)" "Zarvel"
exit_button
expect "no device stored" "$(reg_value midi_out)" "type=REG_DWORD size=4 value=-1"

step "the built-in software synthesizer: passed over at the first start; chosen, it is named once as silent"
clear_settings
export ZARVEL_WINMM_DEVICES='Microsoft GS Wavetable Synth;Zarvel Capture A'
launch '"C:\tunes\melody.sid"'
main_window_up
drv post-click Zarvel 106
drv wait-window "Zarvel Preferences" 5000 || fail "no Preferences dialog"
expect "the synthesizer shown as the output" "$(drv selected 'Zarvel Preferences' 115)" "1"
drv list-select "Zarvel Preferences" 115 0
drv click "Zarvel Preferences" 113
drv wait-gone "Zarvel Preferences" 5000 || fail "OK did not close Preferences"
drv post-click Zarvel 102
expect "the built-in synthesizer named" "$(box_while_playing Cancel)" \
    $'owner=Zarvel\ntext=Microsoft GS Wavetable Synth cannot sound SID frames: it ignores the SysEx messages that carry them.\n\nChoose the synthesizer\'s MIDI output in Conf.'
drv click Zarvel 103
drv click Zarvel 102
drv no-window Cancel 500 || fail "the built-in synthesizer was named twice"
exit_button
unset ZARVEL_WINMM_DEVICES

# Virtual keys: space 0x20, N 0x4E, P 0x50, 1 0x31, + 0xBB (VK_OEM_PLUS), - 0xBD.
step "the command line's keys in the window; the elapsed time without song lengths"
clear_settings
launch '"C:\tunes\A B.sid"'
main_window_up
drv key Zarvel 0x20
eventually "space plays" "Pause" text_of 102
drv key Zarvel 0x4E
eventually "N: the next song" $'items=1 2 3\nselected=2' drv items Zarvel 133
eventually "rate of song 3" "99 Hz" text_of 108  # latch 10,000: 985,248 / 10,001 = 98.515 Hz, rounded
drv key Zarvel 0x50
eventually "P: the song before" $'items=1 2 3\nselected=1' drv items Zarvel 133
drv key Zarvel 0x31
eventually "1: voice 1 off" "0" drv checked Zarvel 130
drv key Zarvel 0xBB 0xBB
eventually "+ twice" "120%" text_of 136
drv key Zarvel 0xBD
eventually "-" "110%" text_of 136
expect "the speed scale followed" "$(drv scroll-pos Zarvel 135)" "110"
sleep 1.2
expect_match "the elapsed time" "$(drv text Zarvel)" '^Zarvel - [0-9]+:[0-5][0-9]$'
drv key Zarvel 0x20
eventually "space pauses" "Play" text_of 102
exit_button
# Voice 1 off: its frequency, which carries the song and the count, goes out
# as 0 in every frame, the mute frames included.
expect_summary "keys" "reset $name" "init" "frames 1 .*" "mute mute" "reset $name" "init" "frames 2 .*" \
    "mute mute" "reset $name" "init" "frames 1 .*" "frame=0\.0 x[0-9]+" \
    "regs=0:00,1:00,24:00 regs=0:00,1:00,24:00" >/dev/null

echo "wine-ui: all scenarios passed"
