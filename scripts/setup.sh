#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Sourced by test.sh and demo.sh
# (call qelvo_setup) or run on its own. Only missing packages are installed, so a warm machine
# does no apt work. As root it installs them; as anyone else it names them and fails.
# QELVO_EXTRA_PACKAGES adds names to the list (used to try the missing-package path).

QELVO_PACKAGES=(
    cmake g++ make python3 python3-pefile
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64
    xvfb xserver-xephyr x11-xserver-utils xdotool x11-utils imagemagick fonts-wqy-zenhei
    googletest procps util-linux locales
    msitools wixl osslsigncode openssl
)

qelvo_missing_packages() {
    local -a wanted=("${QELVO_PACKAGES[@]}")
    local -A installed=()
    local pkg status
    # shellcheck disable=SC2206
    wanted+=(${QELVO_EXTRA_PACKAGES:-})
    while read -r pkg status; do
        [[ $status == installed ]] && installed[${pkg%%:*}]=1
    done < <(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${wanted[@]}" 2>/dev/null)
    for pkg in "${wanted[@]}"; do
        [[ -n ${installed[$pkg]:-} ]] || echo "$pkg"
    done
}

qelvo_setup() {
    local missing
    mapfile -t missing < <(qelvo_missing_packages)
    ((${#missing[@]} == 0)) && return 0
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: missing packages: ${missing[*]}" >&2
        echo "setup: install them as root (sudo bash scripts/setup.sh, or" \
             "sudo apt-get install ${missing[*]}), then run this again." >&2
        return 1
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update || { echo "setup: apt-get update failed" >&2; return 1; }
    apt-get install -y "${missing[@]}" || { echo "setup: apt-get install failed for: ${missing[*]}" >&2; return 1; }
    mapfile -t missing < <(qelvo_missing_packages)
    ((${#missing[@]} == 0)) || { echo "setup: still missing after installation: ${missing[*]}" >&2; return 1; }
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    qelvo_setup
fi
