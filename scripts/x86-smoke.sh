#!/usr/bin/env bash
# Smoke run of the shipped x86 (Windows 2000/XP) binaries under 32-bit Wine in user-mode CPU
# emulation (scripts/x86emu.sh makes that environment inside the build folder).
#
#   bash scripts/x86-smoke.sh [--results DIR] [--keep] [--checks "..."] [--shipped DIR] [--package MSI]
#
# QELVO_BUILD_DIR    build folder (default <repo>/build); the x86 tree is $QELVO_BUILD_DIR/win32
# QELVO_X86_EMU_DIR  cache of packages, the i386 root and the 32-bit prefix (default
#                    $QELVO_BUILD_DIR/x86emu); delete it to start from scratch
# --results DIR      where x86_smoke.xml goes (default $QELVO_X86_EMU_DIR/results)
# --keep             leave the session (wineserver, Xvfb) running and print how to use it
# --checks "LIST"    run only these checks (default: all, in the order of CHECKS)
# --shipped DIR      take Marksman.exe, Setwell.exe and Fitment.dll from DIR (the unpacked x86
#                    release archive) instead of the x86 tree; the test programs stay the tree's
# --package MSI      install the x86 Windows Installer package silently first (check "package"),
#                    then take the programs from its install folder
#
# Each check is a function check_<name> below, named in CHECKS; it runs the attempts of one or
# more check ids through `attempt <id> ...` (a test program against the simulated driver: just
# `simulated_test <id> <program> <seconds> [args]`). tools/x86smoke.py knows each id's case name,
# tries and judge: it judges every attempt (pass, fail, or another try), records the case and
# writes the XML. Exit status 0 when no case failed. Everything the run started is ended on
# every path.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/wine-harness.sh" # the harness: session, display, screenshots

# In this order: Marksman must find no driver before the simulated one is started.
CHECKS="package fitment nodriver calibration setwell"
WIN32_DIR=$QELVO_BUILD_DIR/win32
EMU=${QELVO_X86_EMU_DIR:-$QELVO_BUILD_DIR/x86emu}
LOGS=$EMU/logs
RESULTS=$EMU/results
KEEP=
SHIPPED=
PACKAGE=
while (($#)); do
    case $1 in
    --results) RESULTS=$2; shift 2 ;;
    --keep) KEEP=1; shift ;;
    --checks) CHECKS=$2; shift 2 ;;
    --shipped) SHIPPED=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    --package) PACKAGE=$(realpath "$2") || exit 2; shift 2 ;;
    -h | --help) sed -n '2,23p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "x86-smoke: unknown argument $1" >&2; exit 2 ;;
    esac
done
export QELVO_SCREENSHOT_DIR=$QELVO_BUILD_DIR/screenshots/x86-smoke
mkdir -p "$LOGS" "$RESULTS" "$QELVO_SCREENSHOT_DIR" || exit 1
rm -f "$LOGS"/cases.json "$LOGS"/*.facts "$LOGS"/*.exit "$LOGS"/*.xml
: >"$LOGS/run.log"
log() { echo "x86-smoke: $*" | tee -a "$LOGS/run.log"; }
smoke() { python3 "$QELVO_ROOT/tools/x86smoke.py" --logs "$LOGS" "$@"; }
source "$QELVO_ROOT/scripts/x86emu.sh"
# The test programs read QELVO_SHIPPED_DIR (tests/support ShippedBinary).
[[ -z $SHIPPED ]] || export QELVO_SHIPPED_DIR=$(winpath "$SHIPPED")

on_exit() {
    local status=$?
    if [[ -z $KEEP ]]; then
        x86emu_stop
    else
        log "session kept: export WINEPREFIX=$PREFIX WINESERVER=$WINESERVER64 DISPLAY=${DISPLAY:-} WINELOADERNOEXEC=1;"
        log "  run programs with $QELVO_WINE64 PROGRAM"
    fi
    exit "$status"
}
# Also once the harness has set its own.
traps() {
    trap on_exit EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
traps

# attempt <id> <run...>: runs attempts of check <id> until tools/x86smoke.py gives its verdict,
# which it also records. <run...> leaves its evidence in $LOGS/<id>.{log,exit,xml,facts};
# $ATTEMPT counts from 1.
attempt() {
    local id=$1 started=$SECONDS verdict
    shift
    : >"$LOGS/$id.log"
    for ((ATTEMPT = 1; ; ATTEMPT++)); do
        rm -f "$LOGS/$id.exit" "$LOGS/$id.xml" "$LOGS/$id.facts"
        echo "=== attempt $ATTEMPT" >>"$LOGS/$id.log"
        "$@"
        verdict=$(smoke judge "$id" "$ATTEMPT" $((SECONDS - started))) || verdict=fail
        [[ $verdict == retry ]] || break
    done
}

# fact <id> <key> <value>: what the shell saw of an attempt. decided <id> <key=value>: an attempt
# that cannot run ("skip=why", "error=why").
fact() { echo "$2=$3" >>"$LOGS/$1.facts"; }
decided() { echo "$2" >>"$LOGS/$1.facts"; }

# run_x86_test <id> <seconds> <program> [args...]: a GoogleTest program, its XML as <id>.xml.
run_x86_test() {
    local id=$1 limit=$2 exe=$3
    shift 3
    x86wine "$limit" "$LOGS/$id.log" "$exe" "$@" "--gtest_output=xml:$(winpath "$LOGS/$id.xml")"
    echo $? >"$LOGS/$id.exit"
}

# The x86 package installs silently (msiexec /qn) into the emulated prefix's Program Files; the
# checks after it run the programs installed there. The product that an earlier run installed is
# uninstalled first (Wine would reinstall it from its cached package) and what it left removed,
# so that only this install can put the files there.
INSTALLED=$PREFIX/drive_c/Program\ Files/Qelvo/Touch
PACKAGE_FILES="Marksman.exe Setwell.exe Scribe.exe Fitment.dll README-CN.txt README-EN.txt example-coinstaller.inf"
package_attempt() {
    local f found=0 missing= differ= started=$SECONDS code
    code=$(msiinfo export "$PACKAGE" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
    [[ -n $code ]] && x86wine 300 "$LOGS/package.log" msiexec /x "$code" /qn
    rm -rf "$INSTALLED"
    started=$SECONDS
    x86wine 900 "$LOGS/package.log" msiexec /i "$(winpath "$PACKAGE")" /qn /l*v "$(winpath "$LOGS/package-msiexec.log")"
    echo $? >"$LOGS/package.exit"
    fact package seconds $((SECONDS - started))
    for f in $PACKAGE_FILES; do
        if [[ -f $INSTALLED/$f ]]; then found=$((found + 1)); else missing+=" $f"; fi
        # Against the unpacked archive, when given: the package carries the same files.
        [[ -n $SHIPPED && -f $SHIPPED/$f && -f $INSTALLED/$f ]] && ! cmp -s "$SHIPPED/$f" "$INSTALLED/$f" && differ+=" $f"
    done
    fact package files "$found"
    fact package missing "${missing# }"
    fact package differ "${differ# }"
}
check_package() {
    [[ -n $PACKAGE ]] || return 0
    attempt package package_attempt
    if [[ $(cat "$LOGS/package.exit" 2>/dev/null) == 0 && -f $INSTALLED/Setwell.exe ]]; then
        SHIPPED=$INSTALLED
        export QELVO_SHIPPED_DIR='C:\Program Files\Qelvo\Touch'
        log "programs from the installed package in $QELVO_SHIPPED_DIR"
    fi
}

# Fitment.dll (x86) in an x86 process picks the driver that its INF names, from driver lists that
# the emulated SetupAPI builds: the co-installer's own test program, built for x86.
fitment_attempt() {
    if [[ -z $(x86_program Fitment.dll) ]]; then
        decided fitment "skip=Fitment.dll (x86) is not built"
    elif [[ ! -f $WIN32_DIR/bin/fitment_test_x86.exe ]]; then
        decided fitment "error=fitment_test_x86.exe is not built although Fitment.dll is"
    else
        run_x86_test fitment 600 "$WIN32_DIR/bin/fitment_test_x86.exe"
    fi
}
check_fitment() { attempt fitment fitment_attempt; }

# x86_program <file>: the shipped folder's program, else where the x86 tree has built it (bin/ or
# its source folder's).
x86_program() {
    if [[ -n $SHIPPED ]]; then
        [[ -f $SHIPPED/$1 ]] && echo "$SHIPPED/$1"
        return
    fi
    find "$WIN32_DIR/bin" "$WIN32_DIR" -name "$1" -not -path '*/CMakeFiles/*' 2>/dev/null | head -n 1
}

# x_window <title>: the id of a mapped X window with exactly that title, if there is one.
x_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
window_or_end() { win=$(x_window Marksman); [[ -n $win ]] || ! kill -0 "$1" 2>/dev/null; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# Marksman.exe (x86) where no touch driver exists shows message 20 (seen in Wine's relay trace of
# the message box calls) and ends once it is confirmed with Enter.
nodriver_attempt() {
    local exe pid win=
    exe=$(x86_program Marksman.exe)
    [[ -n $exe ]] || { decided nodriver "skip=Marksman.exe (x86) is not built yet"; return; }
    WINEDEBUG=+relay x86wine 300 "$LOGS/nodriver.log" "$exe" &
    pid=$!
    qelvo_wait_for 240 "a window titled Marksman" window_or_end $pid
    if [[ -n $win ]]; then
        fact nodriver window 1
        qelvo_screenshot marksman-message20 >/dev/null
        timeout 30 xdotool windowfocus --sync "$win" key Return 2>/dev/null
        fact nodriver end_limit 120
        qelvo_wait_for 120 "Marksman to end" ended $pid && fact nodriver ended 1
    fi
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    x86emu_kill Marksman.exe
}
check_nodriver() { attempt nodriver nodriver_attempt; }

# The x86 simulated driver and the PnP fixture, put into the prefix by the x86 touchsim tool once
# a run. Wine starts no kernel driver in the session that made the prefix: then the session is
# begun anew.
SIMULATOR=
simulator_up() {
    [[ -n $SIMULATOR ]] || { start_simulator && SIMULATOR=up || SIMULATOR=down; }
    [[ $SIMULATOR == up ]]
}
start_simulator() {
    local bin=$WIN32_DIR/simulator/bin out=$LOGS/touchsim.log f
    for f in touchsim.exe TouchSim.sys setupapi.dll; do
        [[ -f $bin/$f ]] || { log "$bin/$f is not built"; return 1; }
    done
    : >"$out"
    x86wine 400 "$out" "$bin/touchsim.exe" install --dir "$(winpath "$bin")" && return 0
    log "the driver did not start in this session; starting the session anew (see $out)"
    qelvo_session_restart && qelvo_wait_for 120 "wineboot to end" x86emu_none_running wineboot.exe &&
        x86wine 400 "$out" "$bin/touchsim.exe" start
}

# simulated_test <id> <program> <seconds> [args...]: check <id> is a GoogleTest program of the x86
# tree (tests/x86/) run against the x86 simulated driver; skipped while it is not built.
simulated_test() {
    local id=$1 exe=$WIN32_DIR/bin/$2
    shift 2
    if [[ ! -f $exe ]]; then
        attempt "$id" decided "$id" "skip=$(basename "$exe") is not built yet"
    elif ! simulator_up; then
        attempt "$id" decided "$id" "error=the x86 simulated driver did not start (log $LOGS/touchsim.log)"
    else
        attempt "$id" simulated_attempt "$id" "$exe" "$@"
    fi
}
simulated_attempt() {
    local id=$1 exe=$2 limit=$3
    shift 3
    QELVO_SCREENSHOT_DIR=$(winpath "$QELVO_SCREENSHOT_DIR") run_x86_test "$id" "$limit" "$exe" "$@"
    # A program left behind would hold its mutex for the next attempt.
    x86emu_kill 'Marksman.exe\|Setwell.exe'
}

# The x86 Marksman.exe calibrates against the x86 simulated driver, once as Windows XP and once
# as Windows 2000 present themselves to the program (tests/x86/marksman_x86_test.cpp).
check_calibration() {
    simulated_test calibration-WindowsXP marksman_x86_test.exe 300 "--gtest_filter=*/WindowsXP"
    simulated_test calibration-Windows2000 marksman_x86_test.exe 300 "--gtest_filter=*/Windows2000"
}

# The x86 Setwell.exe against the x86 simulated driver shows the values stored in the driver key,
# stores them with a clicked mode on Apply and has the driver reload them; Cancel ends it
# (tests/x86/setwell_x86_test.cpp).
check_setwell() { simulated_test setwell setwell_x86_test.exe 300; }

main() {
    local started=$SECONDS check
    for check in $CHECKS; do
        declare -F "check_$check" >/dev/null || { log "no check named $check"; return 2; }
    done
    qelvo_language_env && x86emu_prepare
    local status=$?
    traps
    smoke record EmulatedWineSession "$([[ $status == 0 ]] && echo pass || echo fail)" $((SECONDS - started)) \
        "$([[ $status == 0 ]] || echo "the emulated 32-bit Wine could not be prepared (logs: $LOGS)")"
    log "preparation $((SECONDS - started))s (display ${DISPLAY:-none})"
    log "shipped binaries from ${SHIPPED:-the x86 tree $WIN32_DIR}"
    if ((status == 0)); then
        for check in $CHECKS; do
            "check_$check"
        done
    fi
    log "whole run $((SECONDS - started))s"
    smoke write "$RESULTS"
}

main
