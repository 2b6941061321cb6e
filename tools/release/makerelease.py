#!/usr/bin/env python3
"""Builds the release archives from the Windows build trees:

    makerelease.py --win32 build/win32 --win64 build/win64 --out build/release [--allow-missing]

writes <out>/qelvo-touch-<version>-x86.zip and -x64.zip, each with one folder holding the
shipped binaries of that tree and the notes of release/. A binary that is not built, or built for
the other machine, fails the command with a message naming it, and its archive is not written
(a stale one is removed); --allow-missing packs what exists, for trying this out on a tree that
lacks a program. Notes: .txt as UTF-16LE with BOM (what Notepad of Windows 2000 reads), all of
them with CRLF line ends."""

import argparse
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, ".."))

import peimage  # noqa: E402
import shipped  # noqa: E402

NOTES_DIR = os.path.join(HERE, "..", "..", "release")


def note_bytes(name):
    with open(os.path.join(NOTES_DIR, name), encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
    if name.endswith(".txt"):
        return "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")
    return text.encode("ascii")


def release_files(binaries):
    """[(name, bytes)] of everything a release holds: the binaries given and the notes."""
    return list(binaries) + [(n, note_bytes(n)) for n in shipped.NOTES]


def run_tool(cmd, **options):
    """(exit status, output) of a command of the release tools; status None when it could not run."""
    try:
        done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **options)
    except (OSError, subprocess.TimeoutExpired) as e:
        return None, str(e)
    return done.returncode, done.stdout.decode("utf-8", "replace").strip()


def collect(tree, arch):
    """[(name, bytes)] of the shipped binaries in tree, and the problems found."""
    files, problems = [], []
    for name, _, _ in shipped.BINARIES:
        paths = shipped.find(tree, name) if os.path.isdir(tree) else []
        if not paths:
            problems.append("%s is missing from %s (build its target %s)" % (name, tree, os.path.splitext(name)[0]))
            continue
        if len(paths) > 1:
            problems.append("%s is built more than once in %s: %s" % (name, tree, ", ".join(paths)))
            continue
        with open(paths[0], "rb") as f:
            data = f.read()
        machine = peimage.version_info(data).machine
        if machine != arch:
            problems.append("%s is built for %s, not %s" % (paths[0], machine, arch))
            continue
        files.append((name, data))
    return files, problems


def write_archive(path, arch, files):
    folder = shipped.folder_name(arch)
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name, data in release_files(files):
            info = zipfile.ZipInfo(folder + "/" + name, date_time=(2026, 12, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    os.replace(tmp, path)


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--allow-missing", action="store_true")
    args = p.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    failed = False
    for tree, arch in ((args.win32, "x86"), (args.win64, "x64")):
        path = os.path.join(args.out, shipped.archive_name(arch))
        files, problems = collect(tree, arch)
        for problem in problems:
            print("release %s: %s" % (arch, problem), file=sys.stderr)
        if problems and not args.allow_missing:
            failed = True
            if os.path.exists(path):
                os.remove(path)
            print("release %s: %s NOT written" % (arch, path), file=sys.stderr)
            continue
        write_archive(path, arch, files)
        print("release %s: %s (%s)" % (arch, path, ", ".join(n for n, _ in files)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
