#!/usr/bin/env bash
# Smoke run of the shipped x86 (Windows 2000/XP) binaries: 32-bit Wine under user-mode CPU
# emulation (qemu-i386), built from Debian packages inside the build folder. Nothing is installed
# or registered system-wide: the i386 packages are unpacked into a private root, qemu-i386-static is
# taken out of its package, and every Wine process of the run goes through that emulator.
#
#   bash scripts/x86-smoke.sh [--results DIR] [--keep]
#
# QELVO_BUILD_DIR    build folder (default <repo>/build); the x86 tree is $QELVO_BUILD_DIR/win32
# QELVO_X86_EMU_DIR  cache of packages, the i386 root and the 32-bit prefix (default
#                    $QELVO_BUILD_DIR/x86emu); delete it to start from scratch
# --results DIR      where x86_smoke.xml goes (GoogleTest format, one case per check; default
#                    $QELVO_X86_EMU_DIR/results)
# --keep             leave the session (wineserver, Xvfb) running and print how to use it
# --checks "LIST"    run only these of the checks: fitment nodriver calibration (default: all)
#
# Exit status 0 when no check failed. Every process the run started is ended on every path.
set -u

QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}
WIN32_DIR=$BUILD_DIR/win32
EMU=${QELVO_X86_EMU_DIR:-$BUILD_DIR/x86emu}
RESULTS=$EMU/results
KEEP=
CHECKS=" fitment nodriver calibration "
while (($#)); do
    case $1 in
    --results) RESULTS=$2; shift 2 ;;
    --keep) KEEP=1; shift ;;
    --checks) CHECKS=" $2 "; shift 2 ;;
    -h | --help) sed -n '2,19p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "x86-smoke: unknown argument $1" >&2; exit 2 ;;
    esac
done

# Wine must be the very version of the system's wineserver64, which serves the emulated processes.
WINE_VERSION=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null)
WINESERVER64=/usr/lib/wine/wineserver64
QEMU=$EMU/qemu-i386-static
I386=$EMU/i386-${WINE_VERSION:-none}
PREFIX=$EMU/prefix
LOGS=$EMU/logs
SHOTS=$BUILD_DIR/screenshots/x86-smoke
# X libraries the display driver loads on demand (Recommends of libwine, not Depends).
# Bumped whenever the way the root is made changes, so that cached roots are made again.
I386_LAYOUT=2
I386_PACKAGES="wine32 libwine libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1"

mkdir -p "$EMU" "$LOGS" "$RESULTS" "$SHOTS" || exit 1
: >"$LOGS/run.log"
log() { echo "x86-smoke: $*" | tee -a "$LOGS/run.log"; }

# ---------------------------------------------------------------------------------------------
# Result file: one line per case in $CASES (name, outcome, seconds, message), turned into XML.
CASES=$EMU/cases.tsv
: >"$CASES"

# case_result <name> pass|fail|skip <seconds> [message]
case_result() {
    local msg=${4:-}
    msg=${msg//$'\t'/ }
    printf '%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "${msg//$'\n'/\\n}" >>"$CASES"
    log "[$2] $1 (${3}s)${msg:+: ${msg//$'\n'/; }}"
}

xml_escape() {
    local s=$1
    s=${s//&/&amp;}
    s=${s//</&lt;}
    s=${s//>/&gt;}
    s=${s//\"/&quot;}
    printf '%s' "$s"
}

write_results() {
    local out=$RESULTS/x86_smoke.xml tests=0 failures=0 skipped=0 name outcome secs msg
    while IFS=$'\t' read -r name outcome secs msg; do
        ((tests++))
        [[ $outcome == fail ]] && ((failures++))
        [[ $outcome == skip ]] && ((skipped++))
    done <"$CASES"
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo "<testsuites tests=\"$tests\" failures=\"$failures\" disabled=\"0\" errors=\"0\" name=\"x86_smoke\">"
        echo "  <testsuite name=\"X86Smoke\" tests=\"$tests\" failures=\"$failures\" skipped=\"$skipped\" disabled=\"0\" errors=\"0\">"
        while IFS=$'\t' read -r name outcome secs msg; do
            msg=$(xml_escape "${msg//\\n/$'\n'}")
            case $outcome in
            pass) echo "    <testcase name=\"$name\" status=\"run\" result=\"completed\" time=\"$secs\" classname=\"X86Smoke\" />" ;;
            skip) echo "    <testcase name=\"$name\" status=\"run\" result=\"skipped\" time=\"$secs\" classname=\"X86Smoke\"><skipped message=\"$msg\" /></testcase>" ;;
            *) echo "    <testcase name=\"$name\" status=\"run\" result=\"completed\" time=\"$secs\" classname=\"X86Smoke\"><failure message=\"$msg\" type=\"\"><![CDATA[${msg//]]>/]] >}]]></failure></testcase>" ;;
            esac
        done <"$CASES"
        echo "  </testsuite>"
        echo "</testsuites>"
    } >"$out"
    log "results: $out ($tests cases, $failures failed, $skipped skipped)"
}

# ---------------------------------------------------------------------------------------------
# Processes. Everything Wine starts under emulation runs our private qemu binary, so what is left
# over is found by that executable's path; the wineserver and Xvfb are ended by their own means.
XVFB_PID=
SERVER_STARTED=

own_emulated_pids() {
    local p exe real
    real=$(readlink -m "$QEMU")
    for p in /proc/[0-9]*; do
        exe=$(readlink "$p/exe" 2>/dev/null) || continue
        [[ $exe == "$real" ]] && echo "${p#/proc/}"
    done
}

# The wineserver and every emulated process left over; the display stays.
stop_session_server() {
    if [[ -n $SERVER_STARTED ]]; then
        WINEPREFIX=$PREFIX "$WINESERVER64" -k >/dev/null 2>&1
        WINEPREFIX=$PREFIX timeout 30 "$WINESERVER64" -w >/dev/null 2>&1
        SERVER_STARTED=
    fi
    local pids
    pids=$(own_emulated_pids)
    [[ -n $pids ]] && kill -KILL $pids 2>/dev/null
    return 0
}

stop_session() {
    stop_session_server
    if [[ -n $XVFB_PID ]]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
}

on_exit() {
    local status=$?
    if [[ -z $KEEP ]]; then
        stop_session
    else
        log "session kept: export WINEPREFIX=$PREFIX WINESERVER=$WINESERVER64 DISPLAY=${DISPLAY:-} WINELOADERNOEXEC=1;"
        log "  run programs with $I386/usr/lib/wine/wine-preloader $I386/usr/lib/wine/wine PROGRAM"
    fi
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# retry <tries> <pause> <command...>: for the network and for flaky emulated services.
retry() {
    local tries=$1 pause=$2 i
    shift 2
    for ((i = 1; i <= tries; i++)); do
        "$@" && return 0
        ((i < tries)) && sleep "$pause"
    done
    return 1
}

# wait_for <seconds> <command...>: polls the command until it succeeds or the time is up.
wait_for() {
    local limit=$1 t=$SECONDS
    shift
    until "$@"; do
        ((SECONDS - t >= limit)) && return 1
        sleep 0.5
    done
}

# ---------------------------------------------------------------------------------------------
# Preparation: qemu-i386-static, the i386 Wine root, the prefix.

# The emulator. The release's own qemu-user-static (7.2 on bookworm) takes most of a minute for a
# calibration that 10.0 does in seconds, and now and then ends a threaded program with "uncaught
# target signal 11"; so the release's backports are asked first, through an apt state of their
# own, and the release's package is the fallback. The stamp names the version in use.
QEMU_STAMP=$EMU/qemu-i386-static.version

# unpack_qemu <deb> <path in the package>: the static emulator, checked to start.
unpack_qemu() {
    dpkg-deb --fsys-tarfile "$1" | tar -x -O "$2" >"$QEMU.tmp" && chmod 755 "$QEMU.tmp" &&
        "$QEMU.tmp" --version | head -n 1 >"$QEMU_STAMP.tmp" && mv "$QEMU.tmp" "$QEMU" &&
        mv "$QEMU_STAMP.tmp" "$QEMU_STAMP"
}

qemu_from_backports() {
    local apt=$EMU/apt-backports debs=$EMU/debs-backports codename deb
    codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    [[ -n $codename ]] || return 1
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$debs" || return 1
    echo "deb http://deb.debian.org/debian $codename-backports main" >"$apt/sources.list"
    printf '%s\n' "Dir::Etc::SourceList \"$apt/sources.list\";" "Dir::Etc::SourceParts \"$apt/parts\";" \
        "Dir::State::Lists \"$apt/lists\";" "Dir::Cache \"$apt/cache\";" >"$apt/apt.conf"
    if ! ls "$debs"/qemu-user_*.deb >/dev/null 2>&1; then
        { retry 2 5 env APT_CONFIG="$apt/apt.conf" apt-get -q -o APT::Sandbox::User=root update &&
            (cd "$debs" && retry 3 5 env APT_CONFIG="$apt/apt.conf" apt-get download -q -o APT::Sandbox::User=root \
                qemu-user); } >>"$LOGS/prepare.log" 2>&1 || return 1
    fi
    deb=$(ls "$debs"/qemu-user_*.deb | tail -n 1)
    unpack_qemu "$deb" ./usr/bin/qemu-i386 || return 1
    # Only a newer emulator is worth the detour.
    local major
    major=$(sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p' "$QEMU_STAMP")
    ((${major:-0} >= 8)) || { rm -f "$QEMU" "$QEMU_STAMP"; return 1; }
}

qemu_from_release() {
    local debs=$EMU/debs
    mkdir -p "$debs" || return 1
    if ! ls "$debs"/qemu-user-static_*.deb >/dev/null 2>&1; then
        # A machine whose package lists are stale or missing gets them once.
        (cd "$debs" && apt-get download -q -o APT::Sandbox::User=root qemu-user-static) >>"$LOGS/prepare.log" 2>&1 ||
            { apt-get update -q >>"$LOGS/prepare.log" 2>&1 &&
                (cd "$debs" && retry 3 5 apt-get download -q -o APT::Sandbox::User=root qemu-user-static) >>"$LOGS/prepare.log" 2>&1; } ||
            return 1
    fi
    unpack_qemu "$(ls "$debs"/qemu-user-static_*.deb | tail -n 1)" ./usr/bin/qemu-i386-static
}

prepare_qemu() {
    if ! [[ -x $QEMU && -s $QEMU_STAMP ]]; then
        rm -f "$QEMU" "$QEMU_STAMP"
        qemu_from_backports || {
            log "no newer emulator from the backports (see $LOGS/prepare.log); taking the release's"
            qemu_from_release
        } || { log "cannot get qemu-i386-static (see $LOGS/prepare.log)"; return 1; }
    fi
    log "emulator: $(cat "$QEMU_STAMP")"
}

# Apt with its own state: i386 package lists and an empty status, so that dependency resolution
# names every package the i386 Wine needs, whatever this machine has installed.
private_apt() {
    APT_CONFIG=$EMU/apt/apt.conf apt-get -q -o APT::Sandbox::User=root "$@"
}

write_preloader() {
    # Wine starts every new process through the preloader beside its loader; this one hands the
    # loader to the emulator. -R bounds the guest address space: the default makes each start
    # take most of a minute, 0x80000000 is too small for Wine.
    cat >"$I386/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec "$QEMU" -L "$I386" -R 0x90000000 "\$@"
EOF
    chmod 755 "$I386/usr/lib/wine/wine-preloader"
}

prepare_i386_root() {
    if [[ -f $I386/.complete && $(cat "$I386/.complete") == "$I386_LAYOUT" ]]; then
        write_preloader
        return 0
    fi
    [[ -n $WINE_VERSION ]] || { log "wine64 is not installed"; return 1; }
    local apt=$EMU/apt debs=$EMU/debs tmp=$I386.tmp names=() uris
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$debs"
    : >"$apt/status"
    cat >"$apt/apt.conf" <<EOF
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache "$apt/cache";
APT::Architecture "i386";
APT::Architectures { "i386"; };
EOF
    retry 3 5 private_apt update >>"$LOGS/prepare.log" 2>&1 ||
        { log "apt-get update for i386 failed (see $LOGS/prepare.log)"; return 1; }
    local wanted=() p
    for p in $I386_PACKAGES; do
        case $p in wine32 | libwine) wanted+=("$p=$WINE_VERSION") ;; *) wanted+=("$p") ;; esac
    done
    uris=$(private_apt install --print-uris -qq --no-install-recommends "${wanted[@]}" 2>>"$LOGS/prepare.log") ||
        { log "no i386 Wine $WINE_VERSION to be had (see $LOGS/prepare.log)"; return 1; }
    local url file size rest missing=()
    while read -r url file size rest; do
        [[ -f $debs/$file ]] || missing+=("$(basename "$file" .deb)")
        names+=("$file")
    done <<<"$uris"
    if ((${#missing[@]})); then
        # file names are package_version_arch; apt-get download takes package:arch=version.
        local downloads=() m pkg ver arch
        for m in "${missing[@]}"; do
            pkg=${m%%_*}; rest=${m#*_}; ver=${rest%_*}; arch=${rest##*_}
            downloads+=("$pkg:$arch=${ver//%3a/:}")
        done
        (cd "$debs" && retry 3 5 private_apt download "${downloads[@]}") >>"$LOGS/prepare.log" 2>&1 ||
            { log "downloading the i386 packages failed (see $LOGS/prepare.log)"; return 1; }
    fi
    rm -rf "$tmp"
    mkdir -p "$tmp"
    for file in "${names[@]}"; do
        dpkg -x "$debs/$file" "$tmp" || { log "cannot unpack $file"; return 1; }
    done
    # What the packages' maintainer scripts would have done: the zlib that Wine's DLLs import,
    # marked as a builtin, and the dynamic linker's cache for the i386 libraries.
    local zin=$tmp/usr/i686-w64-mingw32/lib/zlib1.dll zout=$tmp/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll
    { head -c 64 "$zin" && printf 'Wine builtin DLL' && head -c 16 /dev/zero && tail -c +97 "$zin"; } >"$zout" ||
        { log "cannot place zlib1.dll"; return 1; }
    # The emulator looks up a path in the root first: fonts and their configuration must be the
    # machine's own, or the Chinese fonts are not found.
    rm -rf "$tmp/usr/share/fonts" "$tmp/etc/fonts"
    echo 'include /etc/ld.so.conf.d/*.conf' >"$tmp/etc/ld.so.conf"
    /sbin/ldconfig -r "$tmp" || { log "ldconfig for the i386 root failed"; return 1; }
    rm -rf "$I386"
    mv "$tmp" "$I386"
    write_preloader
    echo "$I386_LAYOUT" >"$I386/.complete"
}

export WINEARCH=win32 WINEPREFIX=$PREFIX WINESERVER=$WINESERVER64 WINELOADERNOEXEC=1
export WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d' WINEDEBUG=-all

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# x86wine <seconds> <log> <program> [args...]: one emulated Wine process with a time limit.
# The first start of a session also brings up its services, so give it room.
x86wine() {
    local limit=$1 out=$2
    shift 2
    timeout -k 10 "$limit" "$I386/usr/lib/wine/wine-preloader" "$I386/usr/lib/wine/wine" "$@" >>"$out" 2>&1
}

start_display() {
    local n
    for ((n = 170; n < 230; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$LOGS/xvfb.log" 2>&1 &
        XVFB_PID=$!
        if wait_for 20 test -e "/tmp/.X11-unix/X$n"; then
            export DISPLAY=:$n
            return 0
        fi
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    log "no display could be started"
    return 1
}

start_server() {
    mkdir -p "$PREFIX"
    "$WINESERVER64" -p >>"$LOGS/wineserver.log" 2>&1 || { log "wineserver did not start"; return 1; }
    SERVER_STARTED=1
}

# begin_session: a session anew. Its first program has Wine start the services (and, in a
# prefix just made, wineboot --init once more); that is let finish before any check starts, and
# a session whose start hangs is begun once more.
begin_session() {
    local attempt
    for attempt in 1 2; do
        stop_session_server
        start_server || return 1
        x86wine 120 "$LOGS/session.log" cmd /c exit &&
            wait_for 120 eval '! emulated_running wineboot.exe' && return 0
        log "the session did not start (attempt $attempt, see $LOGS/session.log)"
    done
    return 1
}

# The prefix as the checks want it: the dialog font mapped to a font this machine has, message
# boxes in the font of a Chinese Windows (宋体 9 pt, GB2312), a service start timeout that allows
# for emulation, and message boxes traced for the checks.
write_prefix_reg() {
    local reg=$EMU/prefix.reg face=""
    # LOGFONTW: height -12, weight 400, charset 134, face "宋体" padded to 32 units.
    face="f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,8b,5b,53,4f"
    face+=$(printf ',00%.0s' $(seq 1 60))
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
        printf '"宋体"="WenQuanYi Zen Hei"\r\n"SimSun"="WenQuanYi Zen Hei"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]\r\n'
        printf '"MessageFont"=hex:%s\r\n\r\n' "$face"
        printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control]\r\n'
        printf '"ServicesPipeTimeout"=dword:0001d4c0\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\r\n'
        printf '"RelayInclude"="user32.MessageBoxW;user32.MessageBoxExW;user32.MessageBoxA;user32.MessageBoxExA"\r\n\r\n'
    } | iconv -f UTF-8 -t UTF-16 >"$reg"
}

# Emulated processes now and then die of the emulation itself ("wine client error ... Bad
# address", a segmentation fault in a service); steps that matter are tried again.
import_prefix_reg() {
    local i
    for i in 1 2 3; do
        x86wine 300 "$LOGS/regedit.log" regedit /S "$(winpath "$EMU/prefix.reg")" && return 0
        log "regedit failed (attempt $i, see $LOGS/regedit.log)"
    done
    return 1
}

# emulated_running <pattern>: whether one of our emulated processes has that in its command line.
emulated_running() {
    local p
    for p in $(own_emulated_pids); do
        { tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null | grep -q -- "$1" && return 0
    done
    return 1
}

# kill_emulated <pattern>: ends our emulated processes with that in their command line.
kill_emulated() {
    local p
    for p in $(own_emulated_pids); do
        { tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null | grep -q -- "$1" && kill -KILL "$p" 2>/dev/null
    done
    wait_for 30 eval "! emulated_running '$1'"
}

# The ready stamp names the Wine version and the registry settings that the prefix has.
prefix_stamp() { echo "$WINE_VERSION $(md5sum <"$EMU/prefix.reg" | cut -d' ' -f1)"; }

# The emulated fontconfig does not find the machine's Chinese font; Wine also loads every font in
# the prefix's Fonts folder, so the font file is linked there.
link_chinese_font() {
    local font
    font=$(fc-match -f '%{file}' 'WenQuanYi Zen Hei' 2>/dev/null)
    [[ -f $font ]] || font=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
    [[ -f $font ]] || { log "no WenQuanYi Zen Hei font on this machine: Chinese texts show as boxes"; return 0; }
    mkdir -p "$PREFIX/drive_c/windows/Fonts" && ln -sfn "$font" "$PREFIX/drive_c/windows/Fonts/$(basename "$font")"
}

prepare_prefix() {
    write_prefix_reg
    if [[ -f $PREFIX/.qelvo-ready && -f $PREFIX/system.reg ]]; then
        link_chinese_font
        begin_session || return 1
        [[ $(cat "$PREFIX/.qelvo-ready") == "$(prefix_stamp)" ]] && return 0
        if [[ $(cut -d' ' -f1 "$PREFIX/.qelvo-ready") == "$WINE_VERSION" ]]; then
            log "updating the prefix's registry settings"
            import_prefix_reg && prefix_stamp >"$PREFIX/.qelvo-ready" && return 0
        fi
    fi
    local attempt first
    for attempt in 1 2; do
        stop_session_server
        rm -rf "$PREFIX"
        start_server || return 1
        log "creating the 32-bit prefix (attempt $attempt)"
        : >"$LOGS/wineboot-$attempt.log"
        # The first process of a new prefix runs wineboot --init before its own program (here
        # the registry import), and the init goes on after that program returned.
        x86wine 900 "$LOGS/wineboot-$attempt.log" regedit /S "$(winpath "$EMU/prefix.reg")"
        first=$?
        if wait_for 900 eval '! emulated_running wineboot.exe'; then
            # Wine starts no kernel driver in the session that made the prefix; the next session,
            # begun here, serves every check. The server writes the registry out when it ends
            # (otherwise only every half minute), so the prefix is looked at after that.
            log "beginning a new session after making the prefix"
            begin_session || return 1
            if [[ -s $PREFIX/system.reg && -f $PREFIX/drive_c/windows/system32/kernel32.dll ]] &&
                { ((first == 0)) || import_prefix_reg; }; then
                link_chinese_font
                prefix_stamp >"$PREFIX/.qelvo-ready"
                return 0
            fi
        fi
        log "prefix creation failed (see $LOGS/wineboot-$attempt.log)"
    done
    return 1
}

# ---------------------------------------------------------------------------------------------
# Checks. Each records one case; a check whose program is not built yet is skipped with a note.

# gtest_summary <xml>: "tests failures" of a GoogleTest XML, then the names of failed cases.
gtest_summary() {
    python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
cases = list(root.iter("testcase"))
failed = [c.get("classname") + "." + c.get("name") for c in cases if c.find("failure") is not None]
print(len(cases), len(failed))
for name in failed:
    print(name)
PY
}

# Fitment.dll (x86) in an x86 process picks the driver that its INF names, from driver lists that
# the emulated SetupAPI builds: the co-installer's own test program, built for x86.
check_fitment() {
    local name=FitmentSelectsTheNamedDriverInX86Process t=$SECONDS
    local dll=$WIN32_DIR/bin/Fitment.dll exe=$WIN32_DIR/bin/fitment_test_x86.exe xml=$LOGS/fitment_test_x86.xml
    if [[ ! -f $dll ]]; then
        case_result $name skip 0 "Fitment.dll (x86) is not built"
        return
    fi
    if [[ ! -f $exe ]]; then
        case_result $name fail 0 "fitment_test_x86.exe is not built although Fitment.dll is"
        return
    fi
    local status attempt summary
    : >"$LOGS/fitment.log"
    # A run that leaves no result at all died of the emulation: it gets one more try.
    for attempt in 1 2; do
        rm -f "$xml"
        x86wine 600 "$LOGS/fitment.log" "$exe" "--gtest_output=xml:$(winpath "$xml")"
        status=$?
        [[ -f $xml ]] && break
        log "fitment_test_x86.exe left no result (exit $status, attempt $attempt)"
    done
    if [[ ! -f $xml ]]; then
        case_result $name fail $((SECONDS - t)) "no results from fitment_test_x86.exe (exit $status; log $LOGS/fitment.log)"
        return
    fi
    summary=$(gtest_summary "$xml")
    local tests failures
    read -r tests failures <<<"$summary"
    if ((status == 0 && tests > 0 && failures == 0)) &&
        grep -q '<testcase name="SecondDriverNamedByItsInfIsSelected" .*status="run"' "$xml"; then
        case_result $name pass $((SECONDS - t)) "$tests cases"
    else
        case_result $name fail $((SECONDS - t)) "exit $status, $tests cases, $failures failed: $(tail -n +2 <<<"$summary" | tr '\n' ' ') (log $LOGS/fitment.log)"
    fi
}

find_x86_program() {
    local f
    for f in "$WIN32_DIR/bin/$1" "$WIN32_DIR/calibrate/$1" "$WIN32_DIR/$1"; do
        [[ -f $f ]] && { echo "$f"; return 0; }
    done
    f=$(find "$WIN32_DIR" -name "$1" -not -path '*/CMakeFiles/*' 2>/dev/null | head -n 1)
    [[ -n $f ]] && echo "$f"
}

# x_window <title>: the id of a mapped X window with exactly that title, if there is one.
x_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }

# debugstr_w form of a UTF-8 text, as Wine's relay trace prints wide strings.
relay_wstr() {
    python3 -c 'import sys; print("L\"" + "".join(c if 32 <= ord(c) < 127 and c not in "\\\"" else "\\%04x" % ord(c) for c in sys.argv[1]) + "\"")' "$1"
}

# Marksman.exe (x86) started where no touch driver exists shows message 20 without owner, with the
# exclamation icon and the program's name as caption, and ends once it is confirmed.
check_marksman_without_driver() {
    local name=MarksmanWithoutDriverShowsMessage20AndEnds t=$SECONDS exe out=$LOGS/marksman-nodriver.log
    exe=$(find_x86_program Marksman.exe)
    if [[ -z $exe ]]; then
        case_result $name skip 0 "Marksman.exe (x86) is not built yet"
        return
    fi
    : >"$out"
    WINEDEBUG=+relay x86wine 300 "$out" "$exe" &
    local pid=$! win="" problems=()
    wait_for 240 eval 'win=$(x_window Marksman); [[ -n $win ]] || ! kill -0 $pid 2>/dev/null'
    if [[ -z $win ]]; then
        kill -0 $pid 2>/dev/null && kill $pid
        wait $pid
        case_result $name fail $((SECONDS - t)) "no window titled Marksman appeared (log $out)"
        return
    fi
    import -display "$DISPLAY" -window root "$SHOTS/marksman-message20.png" 2>/dev/null
    # Relay trace: Call user32.MessageBoxW(<owner>,<ptr> L"<text>",<ptr> L"<caption>",<style>)
    local call text
    text=$(relay_wstr "初始化设备管理失败！")
    call=$(grep -a 'Call user32.MessageBox' "$out" | head -n 1)
    [[ $call == *"MessageBoxW(00000000,"* ]] || problems+=("not an owner-less MessageBoxW call: ${call:-none}")
    [[ $call == *" $text,"* ]] || problems+=("text is not string 20: ${call:-none}")
    [[ $call == *' L"Marksman",00000030)'* ]] ||
        problems+=("caption not \"Marksman\" or style not MB_OK|MB_ICONEXCLAMATION: ${call:-none}")
    xdotool windowfocus --sync "$win" key Return 2>/dev/null
    if ! wait_for 120 eval '! kill -0 $pid 2>/dev/null'; then
        problems+=("Marksman did not end within 120 s of confirming the message")
        kill $pid 2>/dev/null
    fi
    wait $pid 2>/dev/null
    if (($(grep -ac 'Call user32.MessageBox' "$out") > 1)); then
        problems+=("more than one message box was shown")
    fi
    if ((${#problems[@]})); then
        case_result $name fail $((SECONDS - t)) "$(printf '%s; ' "${problems[@]}")(log $out, screenshot $SHOTS/marksman-message20.png)"
    else
        case_result $name pass $((SECONDS - t))
    fi
}

# The x86 simulated driver and the PnP fixture, put into the prefix by the x86 touchsim tool. Wine
# starts no kernel driver in the session that made the prefix: then the session is begun anew.
start_simulator() {
    local bin=$WIN32_DIR/simulator/bin out=$LOGS/touchsim.log f
    for f in touchsim.exe TouchSim.sys setupapi.dll; do
        [[ -f $bin/$f ]] || { log "$bin/$f is not built"; return 1; }
    done
    : >"$out"
    x86wine 400 "$out" "$bin/touchsim.exe" install --dir "$(winpath "$bin")" && return 0
    log "the driver did not start in this session; starting the session anew (see $out)"
    begin_session || return 1
    x86wine 400 "$out" "$bin/touchsim.exe" start
}

# gtest_cases <xml>: one line per case, "name<TAB>pass|fail<TAB>seconds<TAB>first failure".
gtest_cases() {
    python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    failure = case.find("failure")
    message = "" if failure is None else " ".join((failure.get("message") or "").split())[:400]
    print("\t".join([case.get("name"), "fail" if failure is not None else "pass",
                     str(int(float(case.get("time") or 0))), message]))
PY
}

# The x86 Marksman.exe calibrates against the x86 simulated driver: targets tapped where they show,
# the try accepted with Enter, the stored values checked; once as Windows XP and once as Windows
# 2000 present themselves to the program (full scale 32767 and 16383). One case per version.
# The emulation now and then kills or stalls a thread of the emulated programs: a run that leaves
# no result, or fails waiting while Marksman shows no message of its own, is started again (four
# tries in all). Wrong values and Marksman's own messages fail at once.
check_marksman_calibration() {
    local t=$SECONDS exe=$WIN32_DIR/bin/marksman_x86_test.exe versions="WindowsXP Windows2000" version
    if [[ ! -f $exe ]]; then
        for version in $versions; do case_result "MarksmanCalibrationAs$version" skip 0 "marksman_x86_test.exe is not built yet"; done
        return
    fi
    if ! start_simulator; then
        for version in $versions; do
            case_result "MarksmanCalibrationAs$version" fail $((SECONDS - t)) "the x86 simulated driver did not start (log $LOGS/touchsim.log)"
        done
        return
    fi
    local xml out status attempt started result case outcome secs msg
    for version in $versions; do
        started=$SECONDS
        xml=$LOGS/marksman_x86_test-$version.xml
        out=$LOGS/marksman-calibration-$version.log
        : >"$out"
        result=
        for attempt in 1 2 3 4; do
            rm -f "$xml"
            echo "=== attempt $attempt" >>"$out"
            QELVO_SCREENSHOT_DIR=$(winpath "$SHOTS") x86wine 300 "$out" "$exe" "--gtest_filter=*/$version" \
                "--gtest_output=xml:$(winpath "$xml")"
            status=$?
            # A Marksman left behind would hold the program's mutex for the next run.
            kill_emulated Marksman.exe
            if [[ -f $xml ]]; then
                IFS=$'\t' read -r case outcome secs msg < <(gtest_cases "$xml")
                if [[ -z $case ]]; then
                    result="fail no case ran"
                    break
                fi
                if [[ $outcome == pass ]]; then
                    result="pass"
                    break
                fi
                result="fail $msg"
                [[ $msg == *"no message from Marksman"* ]] || break
            else
                result="fail no result (exit $status)"
            fi
            log "MarksmanCalibrationAs$version: attempt $attempt stalled or died under emulation: ${result#fail }"
        done
        if [[ $result == pass ]]; then
            case_result "MarksmanCalibrationAs$version" pass $((SECONDS - started)) "attempt $attempt"
        else
            case_result "MarksmanCalibrationAs$version" fail $((SECONDS - started)) "${result#fail } (attempt $attempt; log $out)"
        fi
        grep -a 'max landing error' "$out" | tail -n 1 | while read -r line; do log "$line"; done
    done
}

# ---------------------------------------------------------------------------------------------
# The whole run is one function, read completely before it starts.
main() {
    run_started=$SECONDS
    prep_started=$SECONDS
    prepared=
    if prepare_qemu && prepare_i386_root && start_display && prepare_prefix; then
        prepared=1
    fi
    prep_seconds=$((SECONDS - prep_started))
    if [[ -n $prepared ]]; then
        case_result EmulatedWineSession pass "$prep_seconds"
    else
        case_result EmulatedWineSession fail "$prep_seconds" "the emulated 32-bit Wine could not be prepared (logs: $LOGS)"
    fi

    if [[ -n $prepared ]]; then
        checks_started=$SECONDS
        [[ $CHECKS == *" fitment "* ]] && check_fitment
        # Before the simulated driver is started: Marksman must find no driver.
        [[ $CHECKS == *" nodriver "* ]] && check_marksman_without_driver
        [[ $CHECKS == *" calibration "* ]] && check_marksman_calibration
        log "checks $((SECONDS - checks_started))s"
    fi

    write_results
    log "preparation ${prep_seconds}s, whole run $((SECONDS - run_started))s"
    awk -F'\t' '$2 == "fail" { bad = 1 } END { exit bad }' "$CASES"
}

main; exit $?
