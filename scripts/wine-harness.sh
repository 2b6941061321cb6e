#!/usr/bin/env bash
# The Wine harness: one 64-bit prefix, one X display and one persistent wineserver for a test or
# demo run, all stopped again by process id when the run ends (also on failure, Ctrl-C or a hang).
#
# Sourced by scripts/test.sh and scripts/demo.sh:
#     source scripts/wine-harness.sh; qelvo_harness_start || ...; ...; qelvo_harness_stop
# Run by hand:
#     scripts/wine-harness.sh shell          a shell with the harness environment; exit it to stop
#     scripts/wine-harness.sh run CMD ...    CMD under the harness, then stop
#
# Settings (environment):
#     QELVO_BUILD_DIR       build folder (default <repo>/build)
#     QELVO_WINEPREFIX      prefix (default $QELVO_BUILD_DIR/wine/prefix), created on first use;
#                           logs go to $QELVO_WINEPREFIX-logs
#     QELVO_HARNESS_DISPLAY use this X display instead of starting an Xvfb
#     QELVO_SCREENSHOT_DIR  where qelvo_screenshot writes (default $QELVO_BUILD_DIR/screenshots)
#     QELVO_LANGUAGE        zh (default) or en: the language of Windows that the programs see
# Wine processes are started through scripts/wine-run, which gives them that language.
# After start: WINEPREFIX, DISPLAY, WINEDLLOVERRIDES, WINEDEBUG, QELVO_WINE_LOCALE are exported; every
# scripts/harness.d/*.sh hook has been sourced in name order, with the session already running.

QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${QELVO_BUILD_DIR:=$QELVO_ROOT/build}"
: "${QELVO_WINEPREFIX:=$QELVO_BUILD_DIR/wine/prefix}"
: "${QELVO_SCREENSHOT_DIR:=$QELVO_BUILD_DIR/screenshots}"
QELVO_WINE64=${QELVO_WINE64:-/usr/lib/wine/wine64}
QELVO_WINESERVER=${QELVO_WINESERVER:-/usr/lib/wine/wineserver64}
export QELVO_ROOT QELVO_BUILD_DIR QELVO_WINEPREFIX QELVO_SCREENSHOT_DIR QELVO_WINE64 QELVO_WINESERVER

_qelvo_xvfb_pid=
_qelvo_server_pid=
_qelvo_harness_up=

_qelvo_log() { echo "harness: $*" >&2; }

# qelvo_language_env: exports QELVO_WINE_LOCALE for $QELVO_LANGUAGE. Wine takes a process's locale,
# UI language and system error texts from LC_ALL when the process starts, even where no glibc
# locale of that name exists (LANG alone was seen to give English); scripts/wine-run hands it to
# every Wine process as LC_ALL, and their children inherit it. Other programs keep their locale
# (bash warns about an LC_ALL it cannot load).
qelvo_language_env() {
    case ${QELVO_LANGUAGE:-zh} in
    zh) export QELVO_WINE_LOCALE=zh_CN.UTF-8 ;;
    en) export QELVO_WINE_LOCALE=en_US.UTF-8 ;;
    *)
        _qelvo_log "QELVO_LANGUAGE must be zh or en, not '$QELVO_LANGUAGE'"
        return 1
        ;;
    esac
}

# Polls a command until it succeeds: qelvo_wait_for <seconds> <description> <command...>.
# Fails with a message when the time is up.
qelvo_wait_for() {
    local limit=$1 what=$2 deadline
    shift 2
    deadline=$((SECONDS + limit))
    until "$@"; do
        if ((SECONDS >= deadline)); then
            _qelvo_log "timed out after ${limit}s waiting for $what"
            return 1
        fi
        sleep 0.1
    done
}

_qelvo_alive() { kill -0 "$1" 2>/dev/null; }

# _qelvo_display_ready <n>: our Xvfb serves display :n. Another one started on the same number at
# the same moment may answer first; the lock file names the server that won.
_qelvo_display_ready() {
    local owner
    _qelvo_alive "$_qelvo_xvfb_pid" || return 0 # ends the wait; the caller sees the dead server
    read -r owner 2>/dev/null <"/tmp/.X$1-lock" || return 1
    [[ $owner =~ ^[0-9]+$ ]] && ((owner == _qelvo_xvfb_pid)) || return 1
    xdpyinfo -display ":$1" >/dev/null 2>&1
}

# qelvo_display_start: $QELVO_HARNESS_DISPLAY when set, else an Xvfb 1024x768x24 of its own on the
# first display from 150 up whose number is free (Xvfb's own lock file settles races with others
# starting displays at the same time); exports DISPLAY. Its log goes to $QELVO_LOG_DIR/xvfb.log.
qelvo_display_start() {
    local n log
    if [[ -n ${QELVO_HARNESS_DISPLAY:-} ]]; then
        export DISPLAY=$QELVO_HARNESS_DISPLAY
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
        _qelvo_log "cannot open display $DISPLAY"
        return 1
    fi
    for ((n = 150; n < 250; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        log=$QELVO_LOG_DIR/xvfb.log
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
        _qelvo_xvfb_pid=$!
        if qelvo_wait_for 30 "Xvfb on :$n" _qelvo_display_ready "$n" && _qelvo_alive "$_qelvo_xvfb_pid"; then
            export DISPLAY=:$n
            return 0
        fi
        # Lost the number to another server (ours then ends by itself) or never came up.
        qelvo_end_process "$_qelvo_xvfb_pid"
        _qelvo_xvfb_pid=
    done
    _qelvo_log "no free display between :150 and :249"
    return 1
}

# qelvo_display_stop: ends the Xvfb that qelvo_display_start started, if any.
qelvo_display_stop() {
    if [[ -n $_qelvo_xvfb_pid ]]; then
        qelvo_end_process "$_qelvo_xvfb_pid"
        _qelvo_xvfb_pid=
    fi
}

# Whether the wineserver of $WINEPREFIX listens: its socket sits in a folder named after the
# prefix's device and inode, under a per-user folder whose name depends on the Wine build.
_qelvo_server_ready() {
    local dev ino dir
    _qelvo_alive "$_qelvo_server_pid" || return 0
    read -r dev ino < <(stat -c '%d %i' "$WINEPREFIX") || return 1
    dir=$(printf 'server-%x-%x' "$dev" "$ino")
    compgen -G "${TMPDIR:-/tmp}/*wine*/$dir/socket" >/dev/null ||
        compgen -G "/tmp/*wine*/$dir/socket" >/dev/null ||
        { [[ -n ${XDG_RUNTIME_DIR:-} ]] && compgen -G "$XDG_RUNTIME_DIR/*wine*/$dir/socket" >/dev/null; }
}

# Maps the dialog font of the resources to a font with Chinese glyphs; a marker in the prefix
# records a mapping that was checked, so a warm start skips it.
_qelvo_map_fonts() {
    local reg=$QELVO_LOG_DIR/fonts.reg marker=$WINEPREFIX/.qelvo-fonts out
    [[ -f $marker ]] && return 0
    python3 - "$reg" <<'PY' || return 1
import sys
key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
text = "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n" \
       '"宋体"="WenQuanYi Zen Hei"\r\n"SimSun"="WenQuanYi Zen Hei"\r\n'
with open(sys.argv[1], "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
    if ! timeout 120 "$QELVO_ROOT/scripts/wine-run" regedit /S "Z:${reg//\//\\}" >>"$QELVO_LOG_DIR/wine.log" 2>&1; then
        _qelvo_log "regedit could not import $reg"
        return 1
    fi
    out=$(timeout 120 "$QELVO_ROOT/scripts/wine-run" reg query \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v SimSun 2>>"$QELVO_LOG_DIR/wine.log")
    if [[ $out != *"WenQuanYi Zen Hei"* ]]; then
        _qelvo_log "the font substitution did not reach the prefix"
        return 1
    fi
    touch "$marker"
}

_qelvo_start_wine() {
    local fresh=
    [[ -f $WINEPREFIX/system.reg ]] || fresh=1
    # A wineserver still running on this prefix belongs to a run that died without stopping it.
    timeout 60 "$QELVO_WINESERVER" -k >/dev/null 2>&1
    "$QELVO_WINESERVER" -p -f >"$QELVO_LOG_DIR/wineserver.log" 2>&1 &
    _qelvo_server_pid=$!
    qelvo_wait_for 30 "the wineserver" _qelvo_server_ready || return 1
    if ! _qelvo_alive "$_qelvo_server_pid"; then
        _qelvo_log "the wineserver ended at start (see $QELVO_LOG_DIR/wineserver.log)"
        return 1
    fi
    # The first process of the session hands its output to the services it starts: never a pipe.
    if [[ -n $fresh ]]; then
        _qelvo_log "creating the prefix $WINEPREFIX"
        timeout 600 "$QELVO_ROOT/scripts/wine-run" wineboot -i >"$QELVO_LOG_DIR/wineboot.log" 2>&1
    else
        timeout 300 "$QELVO_ROOT/scripts/wine-run" wineboot >"$QELVO_LOG_DIR/wineboot.log" 2>&1
    fi || { _qelvo_log "wineboot failed (see $QELVO_LOG_DIR/wineboot.log)"; return 1; }
    _qelvo_map_fonts
}

_qelvo_run_hooks() {
    local hook
    while IFS= read -r hook; do
        [[ -n $hook ]] || continue
        _qelvo_log "hook $(basename "$hook")"
        # shellcheck disable=SC1090
        if ! source "$hook"; then
            _qelvo_log "hook $hook failed"
            return 1
        fi
    done < <(find "$QELVO_ROOT/scripts/harness.d" -maxdepth 1 -name '*.sh' -type f | LC_ALL=C sort)
}

qelvo_harness_start() {
    local started=$SECONDS pidfile
    [[ -z $_qelvo_harness_up ]] || return 0
    export QELVO_LOG_DIR=$QELVO_WINEPREFIX-logs
    mkdir -p "$QELVO_LOG_DIR" "$QELVO_WINEPREFIX" || return 1
    pidfile=$QELVO_WINEPREFIX/.qelvo-harness.pid
    if [[ -f $pidfile ]] && _qelvo_alive "$(cat "$pidfile")"; then
        _qelvo_log "another harness (pid $(cat "$pidfile")) uses $QELVO_WINEPREFIX;" \
                   "set QELVO_BUILD_DIR or QELVO_WINEPREFIX to run in parallel"
        return 1
    fi
    echo $$ >"$pidfile"
    _qelvo_harness_up=1
    trap 'qelvo_harness_stop' EXIT
    trap 'qelvo_harness_stop; exit 130' INT
    trap 'qelvo_harness_stop; exit 143' TERM

    export WINEPREFIX=$QELVO_WINEPREFIX
    export WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d'
    export WINEDEBUG=${QELVO_WINEDEBUG:--all}
    qelvo_language_env || return 1
    qelvo_display_start || return 1
    _qelvo_start_wine || return 1
    _qelvo_run_hooks || return 1
    _qelvo_log "ready in $((SECONDS - started))s: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
}

# Ends every Wine process of the prefix and what the harness started; safe to call twice.
qelvo_harness_stop() {
    [[ -n $_qelvo_harness_up ]] || return 0
    _qelvo_harness_up=
    if [[ -n $_qelvo_server_pid ]]; then
        timeout 60 "$QELVO_WINESERVER" -k >/dev/null 2>&1
        qelvo_end_process "$_qelvo_server_pid"
        _qelvo_server_pid=
    fi
    qelvo_display_stop
    rm -f "$QELVO_WINEPREFIX/.qelvo-harness.pid"
    trap - EXIT INT TERM
}

# qelvo_end_process <pid>: asks a process this shell started to end, kills it after 15 s, reaps it.
qelvo_end_process() {
    local pid=$1
    _qelvo_alive "$pid" && kill -TERM "$pid" 2>/dev/null
    if ! qelvo_wait_for 15 "process $pid to end" _qelvo_not_alive "$pid"; then
        kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
    return 0
}

_qelvo_not_alive() { ! _qelvo_alive "$1"; }

# qelvo_screenshot <name>: a PNG of the whole X screen, $QELVO_SCREENSHOT_DIR/<name>.png; prints the path.
qelvo_screenshot() {
    local path=$QELVO_SCREENSHOT_DIR/$1.png
    mkdir -p "$QELVO_SCREENSHOT_DIR" || return 1
    if ! import -display "$DISPLAY" -window root "$path"; then
        _qelvo_log "screenshot $path failed"
        return 1
    fi
    echo "$path"
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    case ${1:-} in
    shell)
        qelvo_harness_start || exit 1
        echo "Harness shell: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY; 'exit' stops the harness."
        echo "  e.g. scripts/wine-run build/win64/tests/wine/wine_smoke_test.exe --gtest_filter='*'"
        echo "  or   ctest --test-dir build/win64 -R wine_smoke_test --output-on-failure"
        bash -i
        status=$?
        qelvo_harness_stop
        exit $status
        ;;
    run)
        shift
        [[ $# -gt 0 ]] || { echo "usage: $0 run COMMAND [ARGS...]" >&2; exit 2; }
        qelvo_harness_start || exit 1
        "$@"
        status=$?
        qelvo_harness_stop
        exit $status
        ;;
    *)
        echo "usage: $0 shell | run COMMAND [ARGS...]   (or source it and call qelvo_harness_start)" >&2
        exit 2
        ;;
    esac
fi
