#!/usr/bin/env bash
# The steps of the x86 smoke run: the shipped x86 (Windows 2000/XP) binaries under 32-bit Wine in
# user-mode CPU emulation (scripts/x86emu.sh makes that environment inside the build folder). The
# x86 tree registers them with CTest (label x86emu, tests/x86/CMakeLists.txt); scripts/test.sh runs
# them once the release is made:
#
#   ctest --test-dir build/win32 -L x86emu --repeat until-pass:3 --output-on-failure
#
#   x86-smoke.sh start                 the emulated Wine and its harness, left running (fixture)
#   x86-smoke.sh stop                  ends it and every emulated process left over
#   x86-smoke.sh package RELEASE_DIR   installs the x86 package silently into the emulated prefix
#   x86-smoke.sh nodriver              Marksman.exe without a driver: message 20, then it ends
#   x86-smoke.sh simulator             the x86 simulated driver and PnP fixture into the prefix
#   x86-smoke.sh run SECONDS PROGRAM [ARGS...]   one program in the running session
#
# QELVO_BUILD_DIR    build folder (default <repo>/build); the x86 tree is $QELVO_BUILD_DIR/win32
# QELVO_X86_EMU_DIR  cache of packages, the i386 root and the 32-bit prefix (default
#                    $QELVO_BUILD_DIR/x86emu); delete it to start from scratch
# QELVO_LANGUAGE     zh (default) or en, for `start` and `run`
# The emulation now and then kills a process or stalls a thread of it, hence CTest's repeats.
set -u
: "${QELVO_BUILD_DIR:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
EMU=${QELVO_X86_EMU_DIR:-$QELVO_BUILD_DIR/x86emu}
export QELVO_WINEPREFIX=$EMU/prefix QELVO_SCREENSHOT_DIR=$QELVO_BUILD_DIR/screenshots/x86-smoke
source "$(dirname "${BASH_SOURCE[0]}")/wine-harness.sh"
LOGS=$EMU/logs
mkdir -p "$LOGS" "$QELVO_SCREENSHOT_DIR" || exit 1
log() { echo "x86-smoke: $*" | tee -a "$LOGS/run.log" >&2; }
fail() { log "$*"; exit 1; }
source "$QELVO_ROOT/scripts/x86emu.sh"
WIN32_DIR=$QELVO_BUILD_DIR/win32
INSTALLED=$PREFIX/drive_c/Program\ Files/Qelvo/Touch
PACKAGE_FILES="Marksman.exe Setwell.exe Scribe.exe Fitment.dll README-CN.txt README-EN.txt example-coinstaller.inf"

attach() {
    qelvo_harness_attach || exit 1
    [[ -z ${QELVO_LANGUAGE:-} ]] || qelvo_language_env || exit 1
}

# The product that an earlier run installed is uninstalled first (Wine would reinstall it from its
# cached package) and what it left removed, so that only this install can put the files there. The
# installed files must be the x86 archive's.
package() {
    local msi zip code f archive=$EMU/archive missing= differ=
    msi=$(ls "$1"/qelvo-touch-*-x86.msi 2>/dev/null | head -n 1)
    zip=$(ls "$1"/qelvo-touch-*-x86.zip 2>/dev/null | head -n 1)
    [[ -f $msi && -f $zip ]] || fail "no x86 package and archive in $1 (bash scripts/release.sh)"
    code=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }')
    [[ -n $code ]] && x86wine 300 "$LOGS/package.log" msiexec /x "$code" /qn
    rm -rf "$INSTALLED" "$archive"
    local started=$SECONDS
    x86wine 900 "$LOGS/package.log" msiexec /i "$(winpath "$msi")" /qn /l*v "$(winpath "$LOGS/msiexec.log")" ||
        fail "msiexec /i $msi ended with $? (logs $LOGS/package*.log)"
    python3 -m zipfile -e "$zip" "$archive" || fail "cannot unpack $zip"
    for f in $PACKAGE_FILES; do
        if [[ ! -f $INSTALLED/$f ]]; then
            missing+=" $f"
        elif ! cmp -s "$(find "$archive" -name "$f" | head -n 1)" "$INSTALLED/$f"; then
            differ+=" $f"
        fi
    done
    [[ -z $missing$differ ]] ||
        fail "missing from the install folder:${missing:- none}; unlike the archive's:${differ:- none}"
    log "installed in $((SECONDS - started))s into $INSTALLED"
}

# Marksman.exe where no touch driver exists shows string 20 in one owner-less MessageBoxW with
# caption "Marksman" and MB_OK | MB_ICONEXCLAMATION (seen in Wine's relay trace of the message box
# calls), and ends once it is confirmed with Enter.
nodriver() {
    local exe=$INSTALLED/Marksman.exe out=$LOGS/nodriver.log pid win=
    [[ -f $exe ]] || fail "$exe is not installed"
    : >"$out"
    WINEDEBUG=+relay x86wine 300 "$out" "$exe" &
    pid=$!
    ended() { ! kill -0 $pid 2>/dev/null; }
    window_or_end() {
        win=$(xdotool search --onlyvisible --name '^Marksman$' 2>/dev/null | head -n 1)
        [[ -n $win ]] || ended
    }
    qelvo_wait_for 240 "a window titled Marksman" window_or_end
    if [[ -n $win ]]; then
        qelvo_screenshot marksman-message20 >/dev/null
        timeout 30 xdotool windowfocus --sync "$win" key Return 2>/dev/null
        qelvo_wait_for 120 "Marksman to end" ended ||
            { kill $pid; x86emu_kill Marksman.exe; fail "Marksman did not end"; }
    fi
    wait $pid 2>/dev/null
    [[ -n $win ]] || fail "no window titled Marksman appeared (log $out)"
    python3 - "$out" <<'PY' || fail "log $out"
import re, sys
def relay(s):  # a wide string as the relay trace prints it (debugstr_w)
    return 'L"' + "".join(c if 32 <= ord(c) < 127 and c not in '\\"' else "\\%04x" % ord(c) for c in s) + '"'
calls = [line.strip() for line in open(sys.argv[1], errors="replace") if "Call user32.MessageBox" in line]
text, caption = re.escape(relay("初始化设备管理失败！")), re.escape(relay("Marksman"))
want = r"Call user32\.MessageBoxW\(0+,[0-9a-fA-F]+ %s,[0-9a-fA-F]+ %s,0*30\)" % (text, caption)
if len(calls) != 1 or not re.search(want, calls[0]):
    sys.exit("not one owner-less MessageBoxW of string 20, caption Marksman, MB_OK|MB_ICONEXCLAMATION: %s"
             % (calls or "none"))
PY
}

# Wine starts no kernel driver in the session that made the prefix: then the session is begun anew.
simulator() {
    local bin=$WIN32_DIR/simulator/bin out=$LOGS/touchsim.log f
    for f in touchsim.exe TouchSim.sys setupapi.dll; do
        [[ -f $bin/$f ]] || fail "$bin/$f is not built"
    done
    : >"$out"
    x86wine 400 "$out" "$bin/touchsim.exe" install --dir "$(winpath "$bin")" && return 0
    log "the driver did not start in this session; starting the session anew (see $out)"
    _qelvo_harness_up=1
    qelvo_session_restart && _qelvo_detach && qelvo_wait_for 120 "wineboot to end" x86emu_none_running wineboot.exe &&
        x86wine 400 "$out" "$bin/touchsim.exe" start || fail "the x86 simulated driver did not start (log $out)"
}

# A program left behind would hold its mutex for the next run.
run() {
    local limit=$1 status
    shift
    QELVO_SCREENSHOT_DIR=$(winpath "$QELVO_SCREENSHOT_DIR") x86wine "$limit" /dev/stdout "$@"
    status=$?
    x86emu_kill 'Marksman.exe\|Setwell.exe'
    return $status
}

case ${1:-} in
start)
    _qelvo_stop_detached
    qelvo_language_env && x86emu_prepare && _qelvo_detach ||
        { x86emu_stop; fail "the emulated 32-bit Wine could not be prepared (logs: $LOGS)"; }
    ;;
stop) _qelvo_stop_detached; x86emu_kill . ;;
package) attach; package "$2" ;;
nodriver) attach; nodriver ;;
simulator) attach; simulator ;;
run) attach; shift; run "$@" ;;
*) sed -n '2,20p' "${BASH_SOURCE[0]}"; exit 2 ;;
esac
