#!/usr/bin/env bash
# The test command: installs what is missing, builds the native, win64 and win32 trees, runs the
# native tests, the Windows tests under the Wine harness, the static checks of the Windows builds
# and the x86 smoke run, and ends with one line "N passed, N failed". Exit status 0 only when
# nothing failed.
#
# QELVO_BUILD_DIR (default <repo>/build) moves the build trees and the Wine prefix;
# QELVO_JOBS (default 2) is the build parallelism.
set -u
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$QELVO_ROOT" || exit 1
export QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}
source scripts/setup.sh

ledger=$QELVO_BUILD_DIR/test-ledger.tsv
started=$SECONDS

# record <kind> <fields...>: one ledger line for tools/testsummary.py.
record() {
    local IFS=$'\t'
    echo "$*" >>"$ledger"
}

phase() { echo "== $*"; }

# build <preset>: configure and build one tree; a failure shows the end of its log.
build() {
    local preset=$1 dir=$QELVO_BUILD_DIR/$1 log=$QELVO_BUILD_DIR/$1-build.log t=$SECONDS status
    phase "build $preset"
    {
        cmake --preset "$preset" -B "$dir" -DQELVO_WERROR=ON &&
            cmake --build "$dir" --parallel "${QELVO_JOBS:-2}"
    } >"$log" 2>&1
    status=$?
    record step "build $preset" "$status"
    if ((status != 0)); then
        tail -n 60 "$log"
        echo "build $preset FAILED (log: $log)"
        return 1
    fi
    echo "build $preset: ok in $((SECONDS - t))s"
}

# run_ctest <preset> [ctest options]: the tree's tests; each program writes its GoogleTest XML
# into <tree>/test-results, and CTest's own JUnit file says how each program ended.
run_ctest() {
    local preset=$1 dir=$QELVO_BUILD_DIR/$1 t=$SECONDS
    shift
    phase "tests $preset"
    mkdir -p "$dir/test-results"
    rm -f "$dir"/test-results/*.xml "$dir/ctest-junit.xml"
    ctest --test-dir "$dir" --output-on-failure --timeout 600 --output-junit "$dir/ctest-junit.xml" "$@"
    record ctest "$preset" "$dir/ctest-junit.xml" "$dir/test-results"
    echo "tests $preset: done in $((SECONDS - t))s"
}

phase "setup"
if ! qelvo_setup; then
    echo "0 passed, 1 failed"
    exit 1
fi
mkdir -p "$QELVO_BUILD_DIR" && : >"$ledger" || { echo "0 passed, 1 failed"; exit 1; }

native_ok= win64_ok= win32_ok=
build native && native_ok=1
build win64 && win64_ok=1
build win32 && win32_ok=1

[[ -n $native_ok ]] && run_ctest native --parallel "${QELVO_JOBS:-2}"

# CTest starts and stops the Wine harness (a fixture) and runs one test at a time on its display
# (a resource lock). The tests drive windows with real input: on two cores, a test with displays of
# its own running beside them was seen to lose presses and clicks, so they all take turns here
# (QELVO_WINE_JOBS=2 lets those run beside the others).
[[ -n $win64_ok ]] && run_ctest win64 --parallel "${QELVO_WINE_JOBS:-1}"

# The x86 tree's tests: those that need no Wine (export lists and the like); then, with both trees
# built, the static checks of both trees and of the release archives and packages made from them,
# and the x86 smoke run, which installs the x86 package under emulated 32-bit Wine (tests/x86/). The
# emulation now and then kills or stalls a process of its own accord: a failed test gets two more tries.
if [[ -n $win32_ok && -n $win64_ok ]]; then
    phase "release archives"
    bash scripts/release.sh --no-build
    record step "release archives" "$?"
    run_ctest win32 -L "static|release|x86emu" --repeat until-pass:3
elif [[ -n $win32_ok ]]; then
    echo "static checks and x86 smoke run skipped: the win64 build failed"
    run_ctest win32 -L static
fi

phase "summary (${SECONDS}s in all)"
python3 tools/testsummary.py "$ledger"
