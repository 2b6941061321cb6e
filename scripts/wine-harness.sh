#!/usr/bin/env bash
# The Wine harness: one 64-bit prefix, one X display and one persistent wineserver for a test or
# demo run, all stopped again by process id when the run ends (also on failure, Ctrl-C or a hang).
#
# Sourced by scripts/test.sh and scripts/demo.sh:
#     source scripts/wine-harness.sh; qelvo_harness_start || ...; ...; qelvo_harness_stop
# Run by hand:
#     scripts/wine-harness.sh shell          a shell with the harness environment; exit it to stop
#     scripts/wine-harness.sh run CMD ...    CMD under the harness, then stop
#     scripts/wine-harness.sh start | stop   leave it running, then stop it (the CTest fixture of
#                                            the Windows trees); scripts/wine-run attaches to it
#
# Settings (environment):
#     QELVO_BUILD_DIR       build folder (default <repo>/build)
#     QELVO_WINEPREFIX      prefix (default $QELVO_BUILD_DIR/wine/prefix), created on first use;
#                           logs go to $QELVO_WINEPREFIX-logs
#     QELVO_HARNESS_DISPLAY use this X display instead of starting an Xvfb
#     QELVO_HARNESS_LAYOUT  two or three: several displays (see _qelvo_layout), in a prefix of
#                           their own, $QELVO_BUILD_DIR/wine/multihead-<layout>
#     QELVO_SCREENSHOT_DIR  where qelvo_screenshot writes (default $QELVO_BUILD_DIR/screenshots)
#     QELVO_WINE64          the Wine loader (default /usr/lib/wine/wine64)
#     QELVO_HARNESS_HOOKS   folder of the hooks (default scripts/harness.d; empty: none)
#     QELVO_HARNESS_REG     a .reg file (UTF-8) of settings the prefix gets besides the font mapping
#     QELVO_LANGUAGE        zh (default) or en: the language of Windows that the programs see
# Wine processes are started through scripts/wine-run, which gives them that language.
# After start: WINEPREFIX, DISPLAY, WINEDLLOVERRIDES, WINEDEBUG, QELVO_WINE_LOCALE are exported; every
# scripts/harness.d/*.sh hook has been sourced in name order, with the session already running.
# Inside a harness started by `run` or `shell`, `start` and `stop` do nothing.

QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${QELVO_BUILD_DIR:=$QELVO_ROOT/build}"
: "${QELVO_WINEPREFIX:=$QELVO_BUILD_DIR/wine/prefix}"
[[ ${QELVO_HARNESS_LAYOUT:-one} == one ]] || QELVO_WINEPREFIX=$QELVO_BUILD_DIR/wine/multihead-$QELVO_HARNESS_LAYOUT
: "${QELVO_SCREENSHOT_DIR:=$QELVO_BUILD_DIR/screenshots}"
QELVO_WINE64=${QELVO_WINE64:-/usr/lib/wine/wine64}
QELVO_WINESERVER=${QELVO_WINESERVER:-/usr/lib/wine/wineserver64}
QELVO_HARNESS_HOOKS=${QELVO_HARNESS_HOOKS-$QELVO_ROOT/scripts/harness.d}
export QELVO_ROOT QELVO_BUILD_DIR QELVO_WINEPREFIX QELVO_SCREENSHOT_DIR QELVO_WINE64 QELVO_WINESERVER

_qelvo_xvfb_pid=
_qelvo_xephyr_pid=
_qelvo_server_pid=
_qelvo_harness_up=

_qelvo_log() { echo "harness: $*" >&2; }

# qelvo_language_env: exports QELVO_WINE_LOCALE for $QELVO_LANGUAGE, and QELVO_WINE_LOCPATH, a
# folder with that glibc locale compiled. Wine takes a process's locale, UI language and system error
# texts from LC_ALL when the process starts; without the compiled locale its file names fall back to
# ASCII, and Chinese ones (the installer's shortcuts) cannot be made. scripts/wine-run hands both to
# every Wine process (LC_ALL, LOCPATH), and their children inherit them. Other programs keep theirs.
qelvo_language_env() {
    case ${QELVO_LANGUAGE:-zh} in
    zh) export QELVO_WINE_LOCALE=zh_CN.UTF-8 ;;
    en) export QELVO_WINE_LOCALE=en_US.UTF-8 ;;
    *)
        _qelvo_log "QELVO_LANGUAGE must be zh or en, not '$QELVO_LANGUAGE'"
        return 1
        ;;
    esac
    # Both, since a test may run one program in the other language.
    local dir=$QELVO_BUILD_DIR/locale name
    for name in zh_CN en_US; do
        [[ -f $dir/$name.UTF-8/LC_CTYPE ]] && continue
        mkdir -p "$dir" && localedef -i "$name" -f UTF-8 "$dir/$name.UTF-8" >/dev/null 2>&1 ||
            _qelvo_log "localedef could not compile $name.UTF-8: Wine's file names stay ASCII there"
    done
    export QELVO_WINE_LOCPATH=$dir
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

# _qelvo_display_ready <n> <pid>: the X server <pid> serves display :n. Another one started on the
# same number at the same moment may answer first; the lock file names the server that won.
_qelvo_display_ready() {
    local owner
    _qelvo_alive "$2" || return 0 # ends the wait; the caller sees the dead server
    read -r owner 2>/dev/null <"/tmp/.X$1-lock" || return 1
    [[ $owner =~ ^[0-9]+$ ]] && ((owner == $2)) || return 1
    xdpyinfo -display ":$1" >/dev/null 2>&1
}

# _qelvo_x_start <pid variable> <server command...>: the X server on the first display from 150 up
# whose number is free (the server's own lock file settles races with others starting displays at
# the same time); sets _qelvo_x_display. Its log goes to $QELVO_LOG_DIR/xvfb.log.
_qelvo_x_start() {
    local var=$1 n pid
    shift
    for ((n = 150; n < 250; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        "$@" -nolisten tcp ":$n" >>"$QELVO_LOG_DIR/xvfb.log" 2>&1 &
        pid=$!
        printf -v "$var" %s "$pid"
        if qelvo_wait_for 30 "$1 on :$n" _qelvo_display_ready "$n" "$pid" && _qelvo_alive "$pid"; then
            _qelvo_x_display=:$n
            return 0
        fi
        # Lost the number to another server (ours then ends by itself) or never came up.
        qelvo_end_process "$pid"
        printf -v "$var" %s ""
    done
    _qelvo_log "no free display between :150 and :249"
    return 1
}

# The layouts of QELVO_HARNESS_LAYOUT: the outer Xvfb's size, the Xephyr screens nested in it (one
# per head, Xinerama on and RandR off; Wine takes the heads as its monitors and puts the first
# screen, the primary, at (0, 0)) and the number of heads.
_qelvo_layout() {
    case ${QELVO_HARNESS_LAYOUT:-one} in
    one) _qelvo_outer=1024x768 _qelvo_heads=1 _qelvo_screens=() ;;
    two)
        _qelvo_outer=2048x768 _qelvo_heads=2
        _qelvo_screens=(-screen 1024x768 -origin 1024,0 -screen 1024x768)
        ;;
    three)
        _qelvo_outer=2848x768 _qelvo_heads=3
        _qelvo_screens=(-origin 1024,0 -screen 1024x768 -origin 0,0 -screen 1024x768
                        -origin 2048,0 -screen 800x600)
        ;;
    *) _qelvo_log "unknown layout '$QELVO_HARNESS_LAYOUT' (one, two, three)"; return 1 ;;
    esac
}

# qelvo_display_start: $QELVO_HARNESS_DISPLAY when set, else an Xvfb of its own with the heads of
# QELVO_HARNESS_LAYOUT (one 1024x768x24 by default); exports DISPLAY.
qelvo_display_start() {
    local heads
    if [[ -n ${QELVO_HARNESS_DISPLAY:-} ]]; then
        export DISPLAY=$QELVO_HARNESS_DISPLAY
        xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && return 0
        _qelvo_log "cannot open display $DISPLAY"
        return 1
    fi
    _qelvo_layout && _qelvo_x_start _qelvo_xvfb_pid Xvfb -screen 0 "${_qelvo_outer}x24" || return 1
    if ((_qelvo_heads > 1)); then
        _qelvo_x_start _qelvo_xephyr_pid env DISPLAY="$_qelvo_x_display" Xephyr "${_qelvo_screens[@]}" \
            +xinerama -extension RANDR || { qelvo_display_stop; return 1; }
        heads=$(xdpyinfo -display "$_qelvo_x_display" -ext XINERAMA 2>/dev/null | grep -c 'head #')
        if [[ $heads != "$_qelvo_heads" ]]; then
            _qelvo_log "$_qelvo_x_display has $heads Xinerama heads, not $_qelvo_heads"
            qelvo_display_stop
            return 1
        fi
    fi
    export DISPLAY=$_qelvo_x_display
}

# qelvo_display_stop: ends the X servers that qelvo_display_start started, if any.
qelvo_display_stop() {
    local var
    for var in _qelvo_xephyr_pid _qelvo_xvfb_pid; do
        [[ -n ${!var} ]] && qelvo_end_process "${!var}"
        printf -v "$var" %s ""
    done
    return 0
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

# The prefix's registry settings: the dialog font of the resources mapped to a font with Chinese
# glyphs, then the lines of $QELVO_HARNESS_REG (a .reg text in UTF-8) when set. The marker in the
# prefix is the file that was imported and checked, so a warm start skips it.
_qelvo_prefix_settings() {
    local reg=$QELVO_LOG_DIR/settings.reg marker=$WINEPREFIX/.qelvo-settings out
    python3 - "$reg" "$marker" "${QELVO_HARNESS_REG:-}" <<'PY' || return $(($? == 3 ? 0 : 1))
import sys
reg, marker, extra = sys.argv[1:]
key = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
text = "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n" \
       '"宋体"="WenQuanYi Zen Hei"\r\n"SimSun"="WenQuanYi Zen Hei"\r\n'
if extra:
    with open(extra, encoding="utf-8") as f:
        text += "\r\n" + f.read().replace("\r\n", "\n").replace("\n", "\r\n")
data = b"\xff\xfe" + text.encode("utf-16-le")
try:
    with open(marker, "rb") as f:
        if f.read() == data:
            sys.exit(3)
except FileNotFoundError:
    pass
with open(reg, "wb") as f:
    f.write(data)
PY
    if ! timeout 300 "$QELVO_ROOT/scripts/wine-run" regedit /S "Z:${reg//\//\\}" >>"$QELVO_LOG_DIR/wine.log" 2>&1; then
        _qelvo_log "regedit could not import $reg"
        return 1
    fi
    out=$(timeout 300 "$QELVO_ROOT/scripts/wine-run" reg query \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v SimSun 2>>"$QELVO_LOG_DIR/wine.log")
    if [[ $out != *"WenQuanYi Zen Hei"* ]]; then
        _qelvo_log "the font substitution did not reach the prefix"
        return 1
    fi
    cp "$reg" "$marker"
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
    _qelvo_prefix_settings
}

# qelvo_session_restart: ends the harness's Wine session and begins it anew (in the session that
# created the prefix Wine starts no kernel driver; the next one does).
qelvo_session_restart() {
    timeout 60 "$QELVO_WINESERVER" -k >/dev/null 2>&1
    qelvo_end_process "$_qelvo_server_pid"
    _qelvo_start_wine
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
    done < <([[ -z $QELVO_HARNESS_HOOKS ]] || find "$QELVO_HARNESS_HOOKS" -maxdepth 1 -name '*.sh' -type f | LC_ALL=C sort)
}

qelvo_harness_start() {
    local started=$SECONDS pidfile
    [[ -z $_qelvo_harness_up ]] || return 0
    export QELVO_LOG_DIR=$QELVO_WINEPREFIX-logs
    mkdir -p "$QELVO_LOG_DIR" "$QELVO_WINEPREFIX" || return 1
    pidfile=$QELVO_WINEPREFIX/.qelvo-harness.pid
    if [[ -f $pidfile ]] && _qelvo_alive "$(cat "$pidfile")"; then
        _qelvo_log "another harness (pid $(cat "$pidfile")) uses $QELVO_WINEPREFIX;" \
                   "set QELVO_BUILD_DIR or QELVO_WINEPREFIX to run in parallel, or end it with scripts/wine-harness.sh stop"
        return 1
    fi
    echo $$ >"$pidfile"
    _qelvo_harness_up=1
    export QELVO_HARNESS_PID=$$
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
    unset QELVO_HARNESS_PID
    trap - EXIT INT TERM
}

# What `start` leaves for `stop` and for scripts/wine-run: the environment and the process ids.
_qelvo_state=$QELVO_WINEPREFIX-logs/harness.env

# _qelvo_detach: the harness outlives this shell; its state goes to $_qelvo_state.
_qelvo_detach() {
    {
        # Everything the harness exported.
        export -p | grep -E '^declare -x (DISPLAY|WINE[A-Z_]*|QELVO_[A-Z0-9_]*)=' | grep -v ' QELVO_HARNESS_PID=' |
            sed 's/^declare -x /export /'
        printf '_qelvo_xvfb_pid=%q\n_qelvo_xephyr_pid=%q\n_qelvo_server_pid=%q\n' \
            "$_qelvo_xvfb_pid" "$_qelvo_xephyr_pid" "$_qelvo_server_pid"
    } >"$_qelvo_state" || return 1
    # The wineserver lives as long as the harness: it stands for it in the pid file.
    echo "$_qelvo_server_pid" >"$QELVO_WINEPREFIX/.qelvo-harness.pid"
    _qelvo_harness_up=
    trap - EXIT INT TERM
}

# qelvo_harness_attach: the environment of the harness that `start` left running.
qelvo_harness_attach() {
    # shellcheck disable=SC1090
    [[ -f $_qelvo_state ]] && source "$_qelvo_state" && _qelvo_alive "$_qelvo_server_pid" || {
        _qelvo_log "no harness is running for $QELVO_WINEPREFIX (scripts/wine-harness.sh start)"
        return 1
    }
}

# _qelvo_still <pid variable> <program>: keeps the id only while it is still that program's.
_qelvo_still() {
    [[ -n ${!1} && $(tr '\0' ' ' <"/proc/${!1}/cmdline" 2>/dev/null) == *"$2"* ]] || printf -v "$1" %s ""
}

# Stops the harness that `start` left running, by the process ids in its state (those of a run
# cut short long ago may belong to other programs by now).
_qelvo_stop_detached() {
    # shellcheck disable=SC1090
    [[ -f $_qelvo_state ]] && source "$_qelvo_state" || return 0
    _qelvo_still _qelvo_xvfb_pid Xvfb
    _qelvo_still _qelvo_xephyr_pid Xephyr
    _qelvo_still _qelvo_server_pid wineserver
    _qelvo_harness_up=1
    qelvo_harness_stop
    rm -f "$_qelvo_state"
}

# qelvo_end_process <pid>: asks a process the harness started to end, kills it after 15 s, reaps it.
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
    shell | run)
        mode=$1
        shift
        [[ $mode == shell || $# -gt 0 ]] || { echo "usage: $0 run COMMAND [ARGS...]" >&2; exit 2; }
        qelvo_harness_start || exit 1
        if [[ $mode == shell ]]; then
            echo "Harness shell: WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY; 'exit' stops the harness."
            echo "  e.g. scripts/wine-run build/win64/tests/wine/wine_smoke_test.exe --gtest_filter='*'"
            echo "  or   ctest --test-dir build/win64 -R wine_smoke_test --output-on-failure"
            set -- bash -i
        fi
        "$@"
        status=$?
        qelvo_harness_stop
        exit $status
        ;;
    start)
        [[ -z ${QELVO_HARNESS_PID:-} ]] || exit 0
        _qelvo_stop_detached # one left running by a run that was cut short
        if qelvo_harness_start && _qelvo_detach; then
            exit 0
        fi
        qelvo_harness_stop
        exit 1
        ;;
    stop)
        [[ -z ${QELVO_HARNESS_PID:-} ]] || exit 0
        _qelvo_stop_detached
        exit 0
        ;;
    *)
        echo "usage: $0 shell | run COMMAND [ARGS...] | start | stop   (or source it and call qelvo_harness_start)" >&2
        exit 2
        ;;
    esac
fi
