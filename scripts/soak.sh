#!/usr/bin/env bash
# The soak: the shipped x64 programs and device discovery used many times over under the Wine
# harness (tests/wine/soak), one table of counter deltas per scenario. Builds the win64 tree.
#
#   bash scripts/soak.sh [--cycles N] [--no-build]
#
# The tables also go to $QELVO_BUILD_DIR/soak/report.md; the test command runs the same programs
# through CTest with 3 cycles.
set -u
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$QELVO_ROOT" || exit 1
export QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}

cycles=100 build=1
while (($#)); do
    case $1 in
    --cycles) cycles=${2:?--cycles needs a number}; shift 2 ;;
    --no-build) build=; shift ;;
    *) echo "usage: bash scripts/soak.sh [--cycles N] [--no-build]" >&2; exit 2 ;;
    esac
done
[[ $cycles =~ ^[1-9][0-9]*$ ]] || { echo "soak: --cycles takes a positive number" >&2; exit 2; }

win64=$QELVO_BUILD_DIR/win64 out=$QELVO_BUILD_DIR/soak
if [[ -n $build ]]; then
    { cmake --preset win64 -B "$win64" -DQELVO_WERROR=ON &&
        cmake --build "$win64" --parallel "${QELVO_JOBS:-2}" --target soak_test soak_display_test; } \
        >"$QELVO_BUILD_DIR/soak-build.log" 2>&1 || { tail -n 40 "$QELVO_BUILD_DIR/soak-build.log"; exit 1; }
fi
mkdir -p "$out" && rm -f "$out"/*.xml "$out"/report.md "$out"/*.log

export QELVO_SOAK_CYCLES=$cycles QELVO_SOAK_REPORT=$out/report.md
# Under Wine a path without a drive is relative to the program's folder: Z: is the host's root.
export QELVO_SOAK_REPORT_WIN="Z:${out//\//\\}\\report.md"
started=$SECONDS status=0
echo "soak: $cycles cycles per scenario"
QELVO_SOAK_REPORT=$QELVO_SOAK_REPORT_WIN bash scripts/wine-harness.sh run scripts/wine-run \
    "$win64/tests/wine/soak/soak_test.exe" "--gtest_output=xml:Z:$out/soak_test.xml" >"$out/soak_test.log" 2>&1 ||
    status=1
QELVO_SOAK_REPORT=$QELVO_SOAK_REPORT_WIN QELVO_HARNESS_LAYOUT=two bash scripts/wine-harness.sh run scripts/wine-run \
    "$win64/tests/wine/soak/soak_display_test.exe" "--gtest_output=xml:Z:$out/soak_display_test.xml" \
    >"$out/soak_display_test.log" 2>&1 || status=1

[[ -f $out/report.md ]] && cat "$out/report.md"
for log in "$out"/*.log; do
    grep -E '^\[  (FAILED|PASSED) ' "$log" | sed "s|^|$(basename "$log" .log): |"
done
echo "soak: $((SECONDS - started)) s in all; logs and tables in $out"
((status == 0)) && echo "soak: passed" || echo "soak: FAILED"
exit $status
