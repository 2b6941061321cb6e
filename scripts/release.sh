#!/usr/bin/env bash
# The release command: builds the shipped binaries of the win32 and win64 trees and packs
# build/release/qelvo-touch-<version>-x86.zip and -x64.zip (tools/release/makerelease.py).
#
#   bash scripts/release.sh [--no-build] [--allow-missing]
#
# --no-build packs what the trees hold (scripts/test.sh builds them first); --allow-missing packs
# a tree that lacks a shipped binary instead of failing. QELVO_BUILD_DIR moves the trees.
set -u
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$QELVO_ROOT" || exit 1
QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}

build=1
pack_args=()
for arg in "$@"; do
    case $arg in
    --no-build) build= ;;
    --allow-missing) pack_args+=(--allow-missing) ;;
    *) echo "usage: bash scripts/release.sh [--no-build] [--allow-missing]" >&2; exit 2 ;;
    esac
done

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

python3 tools/release/makerelease.py --win32 "$QELVO_BUILD_DIR/win32" --win64 "$QELVO_BUILD_DIR/win64" \
    --out "$QELVO_BUILD_DIR/release" "${pack_args[@]}"
