# Sourced by the scenarios that run Windows programs under Wine
# (tests/ui/wine_ui_test.sh, tests/packaging/installer_wine_test.sh): a
# display of their own under Xvfb, one Wine server for the run, and the Wine
# prefix they share, build/mingw-x64/wine-ui/prefix, made on the first run
# and kept, as its set-up takes a while. The sourcing script has set $work
# (its output folder) and $log, and defines fail and step; the session ends
# when it exits.

export WINEPREFIX=$PWD/build/mingw-x64/wine-ui/prefix WINEARCH=win64 WINEDEBUG=-all

xvfb_pid=
wine_session_shell=$BASHPID
end_wine_session() {
    [[ $BASHPID == "$wine_session_shell" ]] || return 0  # not in a subshell's exit
    timeout 20 wineserver -k >/dev/null 2>&1 || true
    if [[ -n $xvfb_pid ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap end_wine_session EXIT

start_wine_session() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>>"$log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
    [[ -s $work/display ]] || fail "Xvfb did not start"
    export DISPLAY=:$(head -n 1 "$work/display")

    # One server for the whole run, so that each program starts quickly.
    timeout 30 wineserver -p >>"$log" 2>&1 || true
    if [[ ! -f $WINEPREFIX/.zarvel-ready ]]; then
        step "setting up the Wine prefix (first run only)"
        mkdir -p "$WINEPREFIX"
        timeout 300 wineboot -i >>"$log" 2>&1 || fail "wineboot did not finish"
        # Wine draws the caption itself (no window manager here), and a crash
        # ends the program with a backtrace in the log instead of a dialog.
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >>"$log" 2>&1
        timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1
        touch "$WINEPREFIX/.zarvel-ready"
    fi
}
