# shellcheck shell=bash
# The emulated 32-bit Wine of the x86 smoke run (sourced by scripts/x86-smoke.sh, after
# scripts/wine-harness.sh): qemu-i386-static and the i386 Wine of the installed wine64's version,
# unpacked from Debian packages into $EMU; the Wine harness runs it in a 32-bit prefix, served by
# the system's wineserver64. Nothing is installed or registered system-wide.
#
# Needs EMU, LOGS and log(); gives x86emu_prepare (emulator, root, prefix; the harness is then
# running), x86wine, x86emu_stop, x86emu_kill <pattern>, winpath, I386, PREFIX.

# Wine must be the very version of the system's wineserver64, which serves the emulated processes.
WINE_VERSION=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null)
WINESERVER64=/usr/lib/wine/wineserver64
QEMU=$EMU/qemu-i386-static
I386=$EMU/i386-${WINE_VERSION:-none}
PREFIX=$EMU/prefix
# X libraries the display driver loads on demand (Recommends of libwine, not Depends).
# Bumped whenever the way the root is made changes, so that cached roots are made again.
I386_LAYOUT=2
I386_PACKAGES="wine32 libwine libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1"

export WINEARCH=win32 WINESERVER=$WINESERVER64 WINELOADERNOEXEC=1
# The harness's session, without the x64 hooks; the loader is the emulated one.
QELVO_WINEPREFIX=$PREFIX QELVO_WINE64=$EMU/wine QELVO_HARNESS_HOOKS= QELVO_HARNESS_REG=$EMU/prefix.reg

winpath() { printf 'Z:%s' "${1//\//\\}"; }

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

# x86wine <seconds> <log> <program> [args...]: one emulated Wine process with a time limit, in the
# language of $QELVO_WINE_LOCALE (see qelvo_language_env).
x86wine() {
    local limit=$1 out=$2
    shift 2
    timeout -k 10 "$limit" env ${QELVO_WINE_LOCPATH:+LOCPATH=$QELVO_WINE_LOCPATH} ${QELVO_WINE_LOCALE:+LC_ALL=$QELVO_WINE_LOCALE} \
        "$QELVO_WINE64" "$@" >>"$out" 2>&1
}

# Processes. Everything Wine starts under emulation runs our private qemu binary, so what is left
# over is found by that executable's path.
_x86emu_pids() {
    find /proc/[0-9]*/exe -maxdepth 0 -lname "$(readlink -m "$QEMU")" 2>/dev/null | cut -d/ -f3
}

# _x86emu_pids_running <pattern>: our emulated processes with that in their command line.
_x86emu_pids_running() {
    local p
    for p in $(_x86emu_pids); do
        { tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null | grep -q -- "$1" && echo "$p"
    done
}

x86emu_none_running() { [[ -z $(_x86emu_pids_running "$1") ]]; }

# x86emu_kill <pattern>: ends our emulated processes with that in their command line.
x86emu_kill() {
    local pids
    pids=$(_x86emu_pids_running "$1")
    [[ -n $pids ]] && kill -KILL $pids 2>/dev/null
    qelvo_wait_for 30 "emulated $1 to end" x86emu_none_running "$1"
}

# x86emu_stop: the harness and every emulated process left over.
x86emu_stop() {
    qelvo_harness_stop
    x86emu_kill .
    return 0
}

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
    # take most of a minute, 0x80000000 is too small for Wine. $EMU/wine starts a program.
    cat >"$I386/usr/lib/wine/wine-preloader" <<EOF
#!/bin/sh
exec "$QEMU" -L "$I386" -R 0x90000000 "\$@"
EOF
    printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$I386/usr/lib/wine/wine-preloader" "$I386/usr/lib/wine/wine" >"$EMU/wine"
    chmod 755 "$I386/usr/lib/wine/wine-preloader" "$EMU/wine"
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
    # A mirror in the middle of a sync fails one index or another for a while; what it did fetch is
    # kept, and the packages below are looked up in that.
    retry 4 15 private_apt update >>"$LOGS/prepare.log" 2>&1 ||
        log "apt-get update for i386 reported errors; going on with the lists it fetched (see $LOGS/prepare.log)"
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

# The prefix as the checks want it, besides the harness's font mapping: message boxes in the font
# of a Chinese Windows (宋体 9 pt, GB2312), a service start timeout that allows for emulation, and
# message boxes traced for the checks.
write_prefix_reg() {
    local face
    # LOGFONTW: height -12, weight 400, charset 134, face "宋体" padded to 32 units.
    face="f4,ff,ff,ff,00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,86,00,00,00,00,8b,5b,53,4f"
    face+=$(printf ',00%.0s' $(seq 1 60))
    cat >"$EMU/prefix.reg" <<EOF
[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]
"MessageFont"=hex:$face

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control]
"ServicesPipeTimeout"=dword:0001d4c0

[HKEY_CURRENT_USER\\Software\\Wine\\Debug]
"RelayInclude"="user32.MessageBoxW;user32.MessageBoxExW;user32.MessageBoxA;user32.MessageBoxExA"
EOF
}

# The emulated fontconfig does not find the machine's Chinese font; Wine also loads every font in
# the prefix's Fonts folder, so the font file is linked there.
link_chinese_font() {
    local font
    font=$(fc-match -f '%{file}' 'WenQuanYi Zen Hei' 2>/dev/null)
    [[ -f $font ]] || font=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
    [[ -f $font ]] || { log "no WenQuanYi Zen Hei font on this machine: Chinese texts show as boxes"; return 0; }
    mkdir -p "$PREFIX/drive_c/windows/Fonts" && ln -sfn "$font" "$PREFIX/drive_c/windows/Fonts/$(basename "$font")"
}

# The harness on the 32-bit prefix, made anew when it belongs to another Wine version or was left
# half made. Wine may still initialise the prefix or the session in the background (wineboot)
# when the first program has returned; that is let finish. Emulated processes now and then die of
# the emulation itself ("wine client error ... Bad address", a segmentation fault in a service),
# so a failed start is tried once more.
prepare_prefix() {
    local attempt
    write_prefix_reg
    [[ $(cat "$PREFIX/.qelvo-wine-version" 2>/dev/null) == "$WINE_VERSION" ]] || rm -rf "$PREFIX"
    for attempt in 1 2; do
        if qelvo_harness_start && qelvo_wait_for 900 "wineboot to end" x86emu_none_running wineboot.exe; then
            link_chinese_font
            echo "$WINE_VERSION" >"$PREFIX/.qelvo-wine-version"
            return 0
        fi
        log "the session did not start (attempt $attempt, see $PREFIX-logs)"
        x86emu_stop
        [[ -f $PREFIX/.qelvo-wine-version ]] || rm -rf "$PREFIX"
    done
    return 1
}

# x86emu_prepare: the emulator, the i386 root and the prefix; a session of the prefix is running.
x86emu_prepare() {
    mkdir -p "$EMU" || return 1
    prepare_qemu && prepare_i386_root && prepare_prefix
}
