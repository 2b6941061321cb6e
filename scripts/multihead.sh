#!/usr/bin/env bash
# A desktop of several displays for Wine: Xephyr with one screen per display, Xinerama on and
# RandR off, nested inside a large Xvfb. Wine takes the Xinerama heads as its monitors and moves
# the desktop so that the first screen, its primary display, sits at (0, 0).
#
#   scripts/multihead.sh run <layout> CMD [ARGS...]   CMD under a Wine harness on that desktop
#   scripts/multihead.sh shell <layout>               an interactive shell in the same set-up
#   source scripts/multihead.sh; qelvo_multihead_start <layout> && ...; qelvo_multihead_stop
#                                                     only the X servers: sets QELVO_HARNESS_DISPLAY
# Layouts (virtual-screen pixels as Wine reports them):
#   two    two 1024x768 side by side, the left one primary: (0,0)-(2048,768)
#   three  a 1024x768 primary, a 1024x768 left of it and an 800x600 right of it: (-1024,0)-(1824,768)
# The harness of a run uses its own prefix per layout, $QELVO_BUILD_DIR/wine/multihead-<layout>,
# so it can run inside (or beside) the single-display harness of scripts/test.sh. Everything
# started here is stopped by process id when the run ends.

QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${QELVO_BUILD_DIR:=$QELVO_ROOT/build}"

_qelvo_mh_outer_pid=
_qelvo_mh_nested_pid=
_qelvo_mh_log=

_qelvo_mh_say() { echo "multihead: $*" >&2; }
_qelvo_mh_alive() { kill -0 "$1" 2>/dev/null; }

# The X geometry of a layout: outer size, then Xephyr's screen arguments, then the heads expected.
_qelvo_mh_layout() {
    case $1 in
    two)
        _qelvo_mh_outer=2048x768
        _qelvo_mh_screens=(-screen 1024x768 -origin 1024,0 -screen 1024x768)
        _qelvo_mh_heads=2
        ;;
    three)
        _qelvo_mh_outer=2848x768
        _qelvo_mh_screens=(-origin 1024,0 -screen 1024x768 -origin 0,0 -screen 1024x768
                           -origin 2048,0 -screen 800x600)
        _qelvo_mh_heads=3
        ;;
    *)
        _qelvo_mh_say "unknown layout '$1' (two, three)"
        return 1
        ;;
    esac
}

# _qelvo_mh_wait_display <pid> <:n> <seconds>: until the server answers; fails if it died.
_qelvo_mh_wait_display() {
    local pid=$1 display=$2 deadline=$((SECONDS + $3))
    while ! xdpyinfo -display "$display" >/dev/null 2>&1; do
        _qelvo_mh_alive "$pid" || return 1
        if ((SECONDS >= deadline)); then
            _qelvo_mh_say "timed out waiting for $display"
            return 1
        fi
        sleep 0.1
    done
    _qelvo_mh_alive "$pid"
}

# _qelvo_mh_start_server <first number> <pid variable> <command...>: starts an X server on the
# first free display from the given number on; the server's own lock settles races.
_qelvo_mh_start_server() {
    local n=$1 var=$2 pid
    shift 2
    for ((; n < 300; n++)); do
        [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
        "$@" ":$n" >>"$_qelvo_mh_log" 2>&1 &
        pid=$!
        printf -v "$var" '%s' "$pid"
        if _qelvo_mh_wait_display "$pid" ":$n" 30; then
            _qelvo_mh_display=:$n
            return 0
        fi
        _qelvo_mh_end "$pid"
        printf -v "$var" '%s' ""
    done
    _qelvo_mh_say "no free display number for $1"
    return 1
}

_qelvo_mh_end() {
    local pid=$1 deadline=$((SECONDS + 15))
    [[ -n $pid ]] || return 0
    _qelvo_mh_alive "$pid" && kill -TERM "$pid" 2>/dev/null
    while _qelvo_mh_alive "$pid" && ((SECONDS < deadline)); do
        sleep 0.1
    done
    _qelvo_mh_alive "$pid" && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

# qelvo_multihead_start <layout>: starts both X servers; exports QELVO_HARNESS_DISPLAY (the
# nested display) and QELVO_MULTIHEAD_OUTER (the Xvfb behind it).
qelvo_multihead_start() {
    local layout=$1 heads
    _qelvo_mh_layout "$layout" || return 1
    mkdir -p "$QELVO_BUILD_DIR/wine" || return 1
    _qelvo_mh_log=$QELVO_BUILD_DIR/wine/multihead-$layout-x.log
    : >"$_qelvo_mh_log"
    _qelvo_mh_start_server 180 _qelvo_mh_outer_pid Xvfb -screen 0 "${_qelvo_mh_outer}x24" -nolisten tcp \
        || return 1
    export QELVO_MULTIHEAD_OUTER=$_qelvo_mh_display
    _qelvo_mh_start_server 181 _qelvo_mh_nested_pid env DISPLAY="$QELVO_MULTIHEAD_OUTER" Xephyr \
        "${_qelvo_mh_screens[@]}" +xinerama -extension RANDR -nolisten tcp || { qelvo_multihead_stop; return 1; }
    export QELVO_HARNESS_DISPLAY=$_qelvo_mh_display
    heads=$(xdpyinfo -display "$QELVO_HARNESS_DISPLAY" -ext XINERAMA 2>/dev/null | grep -c 'head #')
    if [[ $heads != "$_qelvo_mh_heads" ]]; then
        _qelvo_mh_say "$QELVO_HARNESS_DISPLAY has $heads Xinerama heads, not $_qelvo_mh_heads"
        qelvo_multihead_stop
        return 1
    fi
    _qelvo_mh_say "layout $layout on $QELVO_HARNESS_DISPLAY (inside $QELVO_MULTIHEAD_OUTER)"
}

qelvo_multihead_stop() {
    _qelvo_mh_end "$_qelvo_mh_nested_pid"
    _qelvo_mh_nested_pid=
    _qelvo_mh_end "$_qelvo_mh_outer_pid"
    _qelvo_mh_outer_pid=
}

# Starts the displays and a Wine harness on them with the layout's own prefix.
_qelvo_mh_harness_start() {
    local layout=$1
    qelvo_multihead_start "$layout" || return 1
    export QELVO_WINEPREFIX=$QELVO_BUILD_DIR/wine/multihead-$layout
    unset QELVO_LOG_DIR
    # shellcheck source=wine-harness.sh
    source "$QELVO_ROOT/scripts/wine-harness.sh"
    if ! qelvo_harness_start; then
        qelvo_harness_stop
        qelvo_multihead_stop
        return 1
    fi
    trap 'qelvo_harness_stop; qelvo_multihead_stop' EXIT
    trap 'qelvo_harness_stop; qelvo_multihead_stop; exit 130' INT
    trap 'qelvo_harness_stop; qelvo_multihead_stop; exit 143' TERM
}

_qelvo_mh_harness_stop() {
    qelvo_harness_stop
    qelvo_multihead_stop
    trap - EXIT INT TERM
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    case ${1:-} in
    run)
        [[ $# -ge 3 ]] || { echo "usage: $0 run <layout> COMMAND [ARGS...]" >&2; exit 2; }
        layout=$2
        shift 2
        _qelvo_mh_harness_start "$layout" || exit 1
        "$@"
        status=$?
        _qelvo_mh_harness_stop
        exit $status
        ;;
    shell)
        [[ $# -eq 2 ]] || { echo "usage: $0 shell <layout>" >&2; exit 2; }
        _qelvo_mh_harness_start "$2" || exit 1
        echo "Multi-display shell: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX; 'exit' stops it."
        bash -i
        status=$?
        _qelvo_mh_harness_stop
        exit $status
        ;;
    *)
        echo "usage: $0 run <layout> COMMAND [ARGS...] | shell <layout>   (layouts: two, three)" >&2
        exit 2
        ;;
    esac
fi
