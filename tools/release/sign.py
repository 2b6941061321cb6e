#!/usr/bin/env python3
"""Authenticode signing of a release with osslsigncode (SHA-256):

    sign.py binaries --pfx F --win32 build/win32 --win64 build/win64 --stage DIR
    sign.py packages --pfx F FILE.msi...

`binaries` copies the shipped binaries of each tree into DIR/win32 and DIR/win64 and signs the
copies (the trees keep the unsigned ones); makerelease.py and makemsi.py then take DIR/win32 and
DIR/win64 as their trees. `packages` signs packages in place. The key's password comes from the
environment variable QELVO_SIGN_PASSWORD (empty when unset) and reaches osslsigncode through a
private file, never on a command line; --timestamp URL adds an RFC 3161 time stamp."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, ".."))

import makerelease  # noqa: E402
import peimage  # noqa: E402

PASSWORD_VARIABLE = "QELVO_SIGN_PASSWORD"
DIRECTORY_SECURITY = peimage.pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]


def pe_signed(data):
    """True when a PE image carries an Authenticode signature (a non-empty security directory)."""
    try:
        directories = peimage.pefile.PE(data=data, fast_load=True).OPTIONAL_HEADER.DATA_DIRECTORY
    except peimage.pefile.PEFormatError:
        return False
    return len(directories) > DIRECTORY_SECURITY and all(
        (directories[DIRECTORY_SECURITY].VirtualAddress, directories[DIRECTORY_SECURITY].Size))


def unsigned(data):
    """The image as it was before osslsigncode signed it (unchanged when not signed)."""
    if not pe_signed(data):
        return data
    with tempfile.TemporaryDirectory(prefix="qelvo-unsign-") as tmp:
        signed, plain = os.path.join(tmp, "signed"), os.path.join(tmp, "plain")
        with open(signed, "wb") as f:
            f.write(data)
        subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", plain],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60, check=True)
        with open(plain, "rb") as f:
            return f.read()


def sign_file(path, pfx, password_file, timestamp=None):
    """Signs path in place; returns the problems (empty on success)."""
    signed = path + ".signed"
    cmd = ["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", password_file, "-h", "sha256",
           "-n", "Qelvo Touch"]
    if timestamp:
        cmd += ["-ts", timestamp]
    cmd += ["-in", path, "-out", signed]
    if os.path.exists(signed):
        os.remove(signed)
    status, output = makerelease.run_tool(cmd, timeout=300)
    if status is None:
        return ["osslsigncode did not run for %s: %s" % (path, output)]
    if status != 0 or not os.path.isfile(signed):
        if os.path.exists(signed):
            os.remove(signed)
        return ["signing %s failed (%d): %s" % (path, status, output)]
    os.replace(signed, path)
    return []


def sign_all(paths, pfx, timestamp):
    problems = []
    with tempfile.TemporaryDirectory(prefix="qelvo-sign-") as private:
        os.chmod(private, 0o700)
        password_file = os.path.join(private, "password")
        fd = os.open(password_file, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(os.environ.get(PASSWORD_VARIABLE, ""))
        for path in paths:
            found = sign_file(path, pfx, password_file, timestamp)
            problems += found
            if not found:
                print("signed %s" % path)
    return problems


def stage_binaries(win32, win64, stage):
    """Copies each tree's shipped binaries into stage/win32 and stage/win64; returns the copies."""
    copies, problems = [], []
    for tree, sub, arch in ((win32, "win32", "x86"), (win64, "win64", "x64")):
        folder = os.path.join(stage, sub)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        files, found = makerelease.collect(tree, arch)
        problems += found
        for name, data in files:
            copies.append(os.path.join(folder, name))
            with open(copies[-1], "wb") as f:
                f.write(data)
    return copies, problems


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("what", choices=("binaries", "packages"))
    p.add_argument("--pfx", required=True)
    p.add_argument("--timestamp")
    p.add_argument("--win32")
    p.add_argument("--win64")
    p.add_argument("--stage")
    p.add_argument("files", nargs="*")
    args = p.parse_intermixed_args(argv)
    if not os.path.isfile(args.pfx):
        print("sign: %s is no file" % args.pfx, file=sys.stderr)
        return 1
    if args.what == "binaries":
        if not (args.win32 and args.win64 and args.stage):
            p.error("binaries needs --win32, --win64 and --stage")
        paths, problems = stage_binaries(args.win32, args.win64, args.stage)
    else:
        paths, problems = args.files, []
    if not problems:
        problems = sign_all(paths, os.path.abspath(args.pfx), args.timestamp)
    for problem in problems:
        print("sign: %s" % problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
