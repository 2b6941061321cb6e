#!/usr/bin/env bash
# The release command: builds the shipped binaries of the win32 and win64 trees and packs
# build/release/qelvo-touch-<version>-x86.zip and -x64.zip (tools/release/makerelease.py) and the
# Windows Installer packages -x86.msi and -x64.msi beside them (tools/release/makemsi.py).
#
#   bash scripts/release.sh [--no-build] [--allow-missing] [--sign FILE.pfx [--timestamp URL]] [--out DIR]
#
# --no-build packs what the trees hold (scripts/test.sh builds them first); --allow-missing packs
# a tree that lacks a shipped binary instead of failing (no packages are then built).
# --sign signs copies of the four binaries, packs those, then signs the packages (osslsigncode,
# SHA-256; the key's password from QELVO_SIGN_PASSWORD; a time stamp only with --timestamp).
# --out writes elsewhere than build/release. QELVO_BUILD_DIR moves the trees.
set -u
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
caller=$PWD # --sign and --out paths are the caller's
cd "$QELVO_ROOT" || exit 1
QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}

usage() {
    echo "usage: bash scripts/release.sh [--no-build] [--allow-missing] [--sign FILE.pfx [--timestamp URL]] [--out DIR]" >&2
    exit 2
}
build=1 allow_missing= pfx= timestamp=
out=$QELVO_BUILD_DIR/release
pack_args=()
while (($#)); do
    case $1 in
    --no-build) build= ;;
    --allow-missing) allow_missing=1; pack_args+=(--allow-missing) ;;
    --sign)
        (($# >= 2)) || usage
        pfx=$(cd "$caller" && realpath -e "$2" 2>/dev/null) && [[ -f $pfx ]] ||
            { echo "release: $2 is no file" >&2; exit 2; }
        shift ;;
    --timestamp) (($# >= 2)) || usage; timestamp=$2; shift ;;
    --out) (($# >= 2)) || usage; out=$(cd "$caller" && realpath -m "$2") || exit 2; shift ;;
    *) usage ;;
    esac
    shift
done
[[ -z $timestamp || -n $pfx ]] || usage

if [[ -n $build ]]; then
    for preset in win32 win64; do
        echo "release: building $preset"
        log=$QELVO_BUILD_DIR/$preset-release.log
        mkdir -p "$QELVO_BUILD_DIR"
        if ! { cmake --preset "$preset" -B "$QELVO_BUILD_DIR/$preset" -DQELVO_WERROR=ON &&
                cmake --build "$QELVO_BUILD_DIR/$preset" --parallel "${QELVO_JOBS:-2}" --target qelvo_release_binaries
        } >"$log" 2>&1; then
            tail -n 40 "$log"
            echo "release: building $preset FAILED (log: $log)" >&2
            exit 1
        fi
    done
fi

win32=$QELVO_BUILD_DIR/win32 win64=$QELVO_BUILD_DIR/win64
sign_args=()
[[ -n $timestamp ]] && sign_args=(--timestamp "$timestamp")
mkdir -p "$out" || exit 1
if [[ -n $pfx ]]; then
    rm -f "$out"/*.zip "$out"/*.msi
    python3 tools/release/sign.py binaries --pfx "$pfx" "${sign_args[@]}" --win32 "$win32" --win64 "$win64" \
        --stage "$out/signed" || { echo "release: signing the binaries FAILED" >&2; exit 1; }
    win32=$out/signed/win32 win64=$out/signed/win64
fi

status=0
python3 tools/release/makerelease.py --win32 "$win32" --win64 "$win64" --out "$out" "${pack_args[@]}" || status=1
if [[ -z $allow_missing ]]; then
    t=$SECONDS
    python3 tools/release/makemsi.py --win32 "$win32" --win64 "$win64" --out "$out" || status=1
    echo "release: packages built in $((SECONDS - t))s"
    if [[ -n $pfx ]] && ! python3 tools/release/sign.py packages --pfx "$pfx" "${sign_args[@]}" "$out"/*.msi; then
        echo "release: signing the packages FAILED" >&2
        status=1
    fi
else
    rm -f "$out"/qelvo-touch-*.msi
fi
[[ -n $pfx ]] && rm -rf "$out/signed"
exit $status
