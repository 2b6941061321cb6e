#!/usr/bin/env python3
"""Prints the table of scripts/bench.sh: the shipped binaries' sizes per architecture and the
measurements that MarksmanBench.exe wrote ("key value..." lines) in one Markdown table.

    benchtable.py --win32 build/win32 --win64 build/win64 measurements.txt"""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "release"))
import shipped  # noqa: E402


def size_text(tree, name):
    paths = shipped.find(tree, name) if os.path.isdir(tree) else []
    if not paths:
        return "not built"
    size = os.path.getsize(paths[0])
    return "%d KB (%d B)" % ((size + 1023) // 1024, size)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("measurements")
    args = p.parse_args()
    rows = [("Size of " + name, size_text(args.win32, name), size_text(args.win64, name))
            for name, _, _ in shipped.BINARIES]
    rows.append(("Size of FrameworkSmoke.exe (bare dialog, not shipped)",
                 size_text(args.win32, "FrameworkSmoke.exe"), size_text(args.win64, "FrameworkSmoke.exe")))
    lines = open(args.measurements, encoding="utf-8").read().splitlines() if os.path.exists(args.measurements) else []
    for line in lines:
        words = line.split()
        if not words:
            continue
        v = dict(zip(words[1::2], words[2::2]))
        if words[0] == "startup":
            rows.append(("Start to first target: Marksman.exe, one simulated controller (median of %s)" % v["runs"],
                         "-", "%s ms" % v["marksman_ms"]))
            rows.append(("Start to dialog shown: FrameworkSmoke.exe, same run", "-", "%s ms" % v["dialog_ms"]))
            rows.append(("Ratio Marksman / bare dialog", "-", v["ratio"]))
        elif words[0] == "idle":
            rows.append(("CPU while a target waits %.0f s (in-process)" % (int(v["wall_ms"]) / 1000.0), "-",
                         "%s ms = %s %% of a core" % (v["cpu_ms"], v["percent"])))
        elif words[0] == "accuracy":
            rows.append(("Max error at nine points, %s, %s panel" % (v["area"], v["panel"]), "-",
                         "%s px" % v["max_error_px"] if v["max_error_px"] != "-1" else "FAILED"))
        else:
            rows.append((line, "-", "?"))
    header = ("Figure", "x86", "x64")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(3)]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(row, widths)) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
