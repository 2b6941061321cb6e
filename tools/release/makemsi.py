#!/usr/bin/env python3
"""Builds the Windows Installer packages from the Windows build trees:

    makemsi.py --win32 build/win32 --win64 build/win64 --out build/release [--arch x64] [--version 3.0.0]

writes <out>/qelvo-touch-<version>-x86.msi and -x64.msi from release/qelvo-touch.wxs with wixl,
holding the same files, byte for byte, as the archive of that architecture (the binaries of the
tree and the notes as makerelease.py writes them). wixl's warnings fail the build
(G_DEBUG=fatal-warnings); the output is removed first, since a failed run leaves an older one.
A tree that lacks a shipped binary fails its package, which is then not written.

wixl 0.101 crashes on non-ASCII texts: the shortcuts' Chinese names are written afterwards with
msibuild (the database's code page set to 936 first) and read back; a name that does not read
back as written fails the package."""

import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import makerelease  # noqa: E402
import shipped  # noqa: E402

WXS = os.path.normpath(os.path.join(HERE, "..", "..", "release", "qelvo-touch.wxs"))


def build_package(path, arch, version, files):
    """Runs wixl over the binaries given and the notes, then names the shortcuts; returns the
    problems (empty when the package is written, else none is left)."""
    if os.path.exists(path):
        os.remove(path)
    with tempfile.TemporaryDirectory(prefix="qelvo-msi-") as folder:
        for name, data in makerelease.release_files(files):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        # wixl takes no absolute source paths: the files are named relative to the staging folder.
        status, output = makerelease.run_tool(
            ["wixl", "-a", arch, "-D", "Version=" + version, "-D", "Arch=" + arch,
             "-D", "ProductCode=" + shipped.product_code(arch, version), "-D", "SourceDir=.",
             "-o", os.path.abspath(path), WXS],
            cwd=folder, env=dict(os.environ, G_DEBUG="fatal-warnings"), timeout=120)
    if status is None:
        problems = ["wixl did not run: %s" % output]
    elif status != 0 or not os.path.isfile(path):
        problems = ["wixl failed with status %d: %s" % (status, output or "(no output)")]
    else:
        problems = name_shortcuts(path)
    if problems and os.path.exists(path):
        os.remove(path)
    return problems


def shortcut_names(path):
    """{program: shortcut name} as the package's Shortcut table reads back."""
    out = subprocess.run(["msiinfo", "export", path, "Shortcut"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=60, check=True).stdout.decode("utf-8")
    lines = out.split("\r\n")
    columns = lines[0].split("\t")
    rows = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    return {r["Target"].replace("[INSTALLDIR]", ""): r["Name"] for r in rows}


def name_shortcuts(path):
    """Gives the shortcuts their names of shipped.SHORTCUTS; returns the problems."""
    with tempfile.TemporaryDirectory(prefix="qelvo-msi-names-") as folder:
        idt = os.path.join(folder, "_ForceCodepage.idt")
        with open(idt, "w", encoding="ascii", newline="") as f:
            f.write("\r\n\r\n%s\t_ForceCodepage\r\n" % shipped.CODEPAGE)
        steps = [["msibuild", path, "-i", idt]]
        for name, program in shipped.SHORTCUTS:
            steps.append(["msibuild", path, "-q", "UPDATE Shortcut SET Name = '%s' WHERE Target = '[INSTALLDIR]%s'"
                          % (name, program)])
        for step in steps:
            status, output = makerelease.run_tool(step, cwd=folder, timeout=60)
            if status is None:
                return ["msibuild did not run: %s" % output]
            if status != 0:
                return ["%s failed with status %d: %s" % (" ".join(step[2:]), status, output)]
    names = shortcut_names(path)
    return ["shortcut to %s reads back as %r, written %r" % (program, names.get(program), name)
            for name, program in shipped.SHORTCUTS if names.get(program) != name]


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--win32")
    p.add_argument("--win64")
    p.add_argument("--out", required=True)
    p.add_argument("--arch", choices=shipped.ARCHES, action="append")
    p.add_argument("--version", default=shipped.VERSION)
    args = p.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    failed = False
    for arch in args.arch or shipped.ARCHES:
        tree = args.win32 if arch == "x86" else args.win64
        path = os.path.join(args.out, shipped.package_name(arch, args.version))
        files, problems = makerelease.collect(tree, arch) if tree else ([], ["no build tree given"])
        if not problems:
            problems = build_package(path, arch, args.version, files)
        if problems:
            failed = True
            if os.path.exists(path):
                os.remove(path)
            for problem in problems:
                print("package %s: %s" % (arch, problem), file=sys.stderr)
            print("package %s: %s NOT written" % (arch, path), file=sys.stderr)
            continue
        print("package %s: %s (%d bytes)" % (arch, path, os.path.getsize(path)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
