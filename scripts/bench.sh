#!/usr/bin/env bash
# The benchmark command (figures, not a test): builds the shipped binaries of both trees and the
# x64 measurement program, runs tools/bench/MarksmanBench.exe inside the Wine harness and prints
# one table (tools/bench/benchtable.py): sizes per architecture, time from start to the first
# target against a bare dialog, CPU while a target waits, calibration accuracy per panel kind.
#
#   bash scripts/bench.sh [--no-build] [--runs N] [--idle SECONDS]
#
# Measurements go to build/bench/measurements.txt, the table also to build/bench/table.md.
set -u -o pipefail
QELVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$QELVO_ROOT" || exit 1
export QELVO_BUILD_DIR=${QELVO_BUILD_DIR:-$QELVO_ROOT/build}

build=1 runs=5 idle=20
while (($#)); do
    case $1 in
    --no-build) build= ;;
    --runs) runs=$2; shift ;;
    --idle) idle=$2; shift ;;
    *) echo "usage: bash scripts/bench.sh [--no-build] [--runs N] [--idle SECONDS]" >&2; exit 2 ;;
    esac
    shift
done

out=$QELVO_BUILD_DIR/bench
mkdir -p "$out"
if [[ -n $build ]]; then
    for preset in win32 win64; do
        targets=(qelvo_release_binaries FrameworkSmoke)
        [[ $preset == win64 ]] && targets+=(MarksmanBench touchsim touchsim_driver touchsim_setupapi)
        echo "bench: building $preset"
        if ! { cmake --preset "$preset" -B "$QELVO_BUILD_DIR/$preset" -DQELVO_WERROR=ON &&
                cmake --build "$QELVO_BUILD_DIR/$preset" --parallel "${QELVO_JOBS:-2}" --target "${targets[@]}"
        } >"$out/$preset-build.log" 2>&1; then
            tail -n 40 "$out/$preset-build.log"
            echo "bench: building $preset FAILED (log: $out/$preset-build.log)" >&2
            exit 1
        fi
    done
fi

win64=$QELVO_BUILD_DIR/win64
# A path of the build tree as Windows programs under Wine see it (drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Inside the harness: each measurement on its own, so that one failing leaves the others.
cat >"$out/run.sh" <<INNER
bench=$win64/tools/bench/MarksmanBench.exe
: >"$out/measurements.txt"
for args in "startup $(winpath "$win64/calibrate/Marksman.exe") $(winpath "$win64/tests/wine/framework/FrameworkSmoke.exe") $runs" \\
            "idle $idle" "accuracy"; do
    timeout 1200 "$QELVO_ROOT/scripts/wine-run" "\$bench" \$args >>"$out/measurements.txt" 2>>"$out/errors.txt" ||
        echo "bench: MarksmanBench \$args failed (see $out/errors.txt)" >&2
done
INNER
: >"$out/errors.txt"
bash scripts/wine-harness.sh run bash "$out/run.sh"
python3 tools/bench/benchtable.py --win32 "$QELVO_BUILD_DIR/win32" --win64 "$win64" "$out/measurements.txt" |
    tee "$out/table.md"
