#!/usr/bin/env bash
# The demo command: builds the win64 tree and shows the suite under Wine, step by step, with a
# screenshot of every window it shows. On your DISPLAY (when there is one) each window stays until
# you close it; otherwise the demo runs on an Xvfb of its own and closes the windows itself.
#
# QELVO_BUILD_DIR as for scripts/test.sh; the demo has its own prefix (build/wine/demo-prefix) and
# writes its screenshots to build/screenshots/demo (QELVO_SCREENSHOT_DIR).
set -u
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$QELVO_ROOT" || exit 1
export QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}
export QELVO_WINEPREFIX=${QELVO_DEMO_WINEPREFIX:-$QELVO_BUILD_DIR/wine/demo-prefix}
export QELVO_SCREENSHOT_DIR=${QELVO_SCREENSHOT_DIR:-$QELVO_BUILD_DIR/screenshots/demo}
source scripts/setup.sh
source scripts/wine-harness.sh

# The demo's steps, in order; each name is a function demo_<name> below. New steps go here.
DEMO_STEPS=(
    framework_smoke
    simulator
    calibrate_from_settings
)

demo_framework_smoke() {
    local exe
    if ! exe=$(demo_find FrameworkSmoke.exe); then
        echo "demo: FrameworkSmoke.exe is not built yet (win64 tree, tests/wine/framework/): step skipped"
        return 0
    fi
    demo_show_window framework-smoke "$exe"
}

# Simulated touch driver (installed by scripts/harness.d/50-simulator.sh): two controllers, each
# with a USB device node, as the driver and the device installer report them.
demo_simulator() {
    local tool=$QELVO_BUILD_DIR/win64/simulator/bin/touchsim.exe log=$QELVO_LOG_DIR/demo-simulator.log
    if ! timeout 120 "$QELVO_ROOT/scripts/wine-run" "$tool" demo 2 >"$log" 2>&1 ||
       ! timeout 120 "$QELVO_ROOT/scripts/wine-run" "$tool" state >>"$log" 2>&1; then
        echo "demo: setting up the simulated controllers failed (log: $log)"
        return 1
    fi
    grep -E '^(demo|summary|controller) ' "$log"
}

# The user's path with the shipped programs: Setwell opens for a simulated controller, its
# calibrate button starts Marksman, the three targets are touched and the try accepted, a setting
# is changed and applied. tests/wine/setwell/setwell_demo.exe drives it and prints the stored
# values, the driver's record and the accuracy at nine points. On your own display you touch the
# targets yourself with the mouse (touchsim follow) and accept with Enter or a double click.
demo_calibrate_from_settings() {
    local driver=$QELVO_BUILD_DIR/win64/tests/wine/setwell/setwell_demo.exe log=$QELVO_LOG_DIR/demo-calibrate.log
    local args=() rc
    if [[ ! -f $driver ]]; then
        echo "demo: $driver is not built"
        return 1
    fi
    if [[ -n $demo_interactive ]]; then
        args=(--follow)
        echo "demo: on $DISPLAY your left clicks become touches of the simulated controller (touchsim follow):"
        echo "      when Marksman shows its targets, click each target's centre, then press Enter or double-click"
    fi
    timeout 900 "$QELVO_ROOT/scripts/wine-run" "$driver" "${args[@]}" >"$log" 2>&1
    rc=$?
    grep -E '^(demo|stored|driver|accuracy)' "$log"
    if [[ $rc -ne 0 ]]; then
        echo "demo: the walk failed with exit code $rc (log: $log)"
        return 1
    fi
}

demo_interactive=

# demo_find <file name>: the path of a program built in the win64 tree.
demo_find() {
    local path
    path=$(find "$QELVO_BUILD_DIR/win64" -name CMakeFiles -prune -o -type f -name "$1" -print | LC_ALL=C sort | head -n 1)
    [[ -n $path ]] && echo "$path"
}

# Wine starts the program in a process of its own under start.exe; its windows carry the
# program's file name as their X class.
_demo_window_of() {
    _qelvo_alive "$1" || return 0
    xdotool search --onlyvisible --class "^${2//./\\.}\$" >/dev/null 2>&1
}

# demo_show_window <screenshot name> <program> [args...]: starts the program, waits for its first
# window and takes a screenshot; then waits for the user to close it, or closes it (WM_CLOSE through
# taskkill) when the demo runs on its own display.
demo_show_window() {
    local shot=$1 exe=$2 pid name
    shift 2
    name=$(basename "$exe")
    "$QELVO_ROOT/scripts/wine-run" "$exe" "$@" >"$QELVO_LOG_DIR/demo-$shot.log" 2>&1 &
    pid=$!
    if ! qelvo_wait_for 120 "a window of $name" _demo_window_of "$pid" "$name" || ! _qelvo_alive "$pid"; then
        echo "demo: $name showed no window (log: $QELVO_LOG_DIR/demo-$shot.log)"
        qelvo_end_process "$pid"
        return 1
    fi
    qelvo_screenshot "$shot" >/dev/null && echo "demo: screenshot $QELVO_SCREENSHOT_DIR/$shot.png"
    if [[ -n $demo_interactive ]]; then
        echo "demo: $name is on $DISPLAY; close it to go on"
        wait "$pid"
        return 0
    fi
    timeout 60 "$QELVO_ROOT/scripts/wine-run" taskkill /im "$name" >>"$QELVO_LOG_DIR/demo-$shot.log" 2>&1
    if ! qelvo_wait_for 60 "$name to close" _qelvo_not_alive "$pid"; then
        echo "demo: $name did not close on WM_CLOSE; ending it"
    fi
    qelvo_end_process "$pid"
}

qelvo_setup || exit 1
echo "== build win64"
log=$QELVO_BUILD_DIR/win64-build.log
mkdir -p "$QELVO_BUILD_DIR"
if ! { cmake --preset win64 -B "$QELVO_BUILD_DIR/win64" -DQELVO_WERROR=ON &&
       cmake --build "$QELVO_BUILD_DIR/win64" --parallel "${QELVO_JOBS:-2}"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "demo: the win64 build failed (log: $log)"
    exit 1
fi

if [[ -n ${DISPLAY:-} ]] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    export QELVO_HARNESS_DISPLAY=$DISPLAY
    demo_interactive=1
fi
mkdir -p "$QELVO_SCREENSHOT_DIR" && rm -f "$QELVO_SCREENSHOT_DIR"/*.png
echo "== demo: screenshots go to $QELVO_SCREENSHOT_DIR"
qelvo_harness_start || exit 1
status=0
for step in "${DEMO_STEPS[@]}"; do
    echo "== demo: $step"
    if ! "demo_$step"; then
        echo "demo: step $step FAILED"
        status=1
    fi
done
qelvo_harness_stop
echo "demo: screenshots are in $QELVO_SCREENSHOT_DIR"
exit $status
