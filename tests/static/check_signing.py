#!/usr/bin/env python3
"""Signing a release: with a throwaway self-signed certificate made here (openssl), `release.sh
--no-build --sign` signs the four binaries of each archive and both packages so that
`osslsigncode verify` accepts them against that certificate and refuses them against another,
with SHA-256 and the key's password from the environment; the signed release still passes
check_release.py and check_msi.py. The release that scripts/test.sh made without --sign carries
no signature."""

import os
import re
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tools", "release"))

import checkresults  # noqa: E402
import shipped  # noqa: E402
import sign  # noqa: E402

PASSWORD = "kiosk-Fleet 7"


def run(cmd, env=None, timeout=600, cwd=None):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, timeout=timeout, cwd=cwd)


def make_certificate(folder, name):
    """A self-signed code-signing certificate: (pfx, pem)."""
    key, pem, pfx = (os.path.join(folder, name + ext) for ext in (".key", ".pem", ".pfx"))
    env = dict(os.environ, QELVO_SIGN_PASSWORD=PASSWORD)
    steps = [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-days", "2",
         "-subj", "/CN=Qelvo throwaway %s" % name, "-addext", "extendedKeyUsage=codeSigning"],
        ["openssl", "pkcs12", "-export", "-inkey", key, "-in", pem, "-out", pfx, "-passout", "env:QELVO_SIGN_PASSWORD"],
    ]
    for step in steps:
        done = run(step, env=env)
        if done.returncode != 0:
            raise RuntimeError("%s failed: %s" % (step[:2], done.stdout.decode("utf-8", "replace")))
    return pfx, pem


def verify(path, pem):
    """(accepted, osslsigncode's words) for a signed file against the certificate in pem."""
    done = run(["osslsigncode", "verify", "-CAfile", pem, "-in", path], timeout=120)
    text = done.stdout.decode("utf-8", "replace")
    return done.returncode == 0 and "Signature verification: ok" in text, text


def members(archive, arch, folder):
    """Extracts the archive's binaries into folder; their paths."""
    paths = []
    with zipfile.ZipFile(archive) as z:
        for name, _, _ in shipped.BINARIES:
            path = os.path.join(folder, "%s-%s" % (arch, name))
            with open(path, "wb") as f:
                f.write(z.read(shipped.folder_name(arch) + "/" + name))
            paths.append(path)
    return paths


def run_checks(args, results):
    build = os.path.dirname(os.path.abspath(args.win32))
    default_out = os.path.join(build, "release")
    with results.case("Unsigned.ByDefault") as c:
        for arch in shipped.ARCHES:
            archive = os.path.join(default_out, shipped.archive_name(arch))
            package = os.path.join(default_out, shipped.package_name(arch))
            if not c.expect(os.path.isfile(archive) and os.path.isfile(package), "%s or %s missing" % (archive, package)):
                continue
            with zipfile.ZipFile(archive) as z:
                for name, _, _ in shipped.BINARIES:
                    data = z.read(shipped.folder_name(arch) + "/" + name)
                    c.expect(not sign.pe_signed(data), "%s in %s is signed" % (name, archive))
            streams = run(["msiinfo", "streams", package]).stdout.decode("utf-8", "replace")
            c.expect("DigitalSignature" not in streams, "%s is signed" % package)

    with tempfile.TemporaryDirectory(prefix="qelvo-signing-") as tmp:
        pfx, pem = make_certificate(tmp, "signer")
        _, other_pem = make_certificate(tmp, "other")
        out = os.path.join(tmp, "release")
        env = dict(os.environ, QELVO_BUILD_DIR=build, QELVO_SIGN_PASSWORD=PASSWORD)
        with results.case("Signed.ReleaseCommandSigns") as c:
            # Paths as an administrator types them: relative to the folder the command runs in.
            done = run(["bash", os.path.join(ROOT, "scripts", "release.sh"), "--no-build", "--sign",
                        os.path.basename(pfx), "--out", os.path.basename(out)], env=env, cwd=tmp)
            text = done.stdout.decode("utf-8", "replace")
            c.expect(done.returncode == 0, "release.sh --sign failed (%d):\n%s" % (done.returncode, text))
            c.expect(PASSWORD not in text, "the password shows in the release command's output")
        signed = []
        for arch in shipped.ARCHES:
            archive = os.path.join(out, shipped.archive_name(arch))
            package = os.path.join(out, shipped.package_name(arch))
            if os.path.isfile(archive):
                signed += members(archive, arch, tmp)
            signed.append(package)
        with results.case("Signed.VerifyAgainstTheCertificate") as c:
            for path in signed:
                if not c.expect(os.path.isfile(path), "%s missing" % path):
                    continue
                ok, text = verify(path, pem)
                c.expect(ok, "%s does not verify:\n%s" % (path, text))
                digests = re.findall(r"^Message digest algorithm\s*:\s*(\S+)", text, re.M)
                c.expect(digests and set(digests) == {"SHA256"}, "%s is not signed with SHA-256 only: %s" % (path, digests))
                refused, text = verify(path, other_pem)
                c.expect(not refused, "%s verifies against an unrelated certificate" % path)
        for check in ("check_release", "check_msi"):
            with results.case("Signed.%sPasses" % check) as c:
                done = run([sys.executable, os.path.join(HERE, check + ".py"), "--win32", args.win32, "--win64",
                            args.win64, "--results", tmp], env=dict(os.environ, QELVO_RELEASE_DIR=out))
                c.expect(done.returncode == 0, "%s fails on the signed release:\n%s"
                         % (check, done.stdout.decode("utf-8", "replace")[-3000:]))


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run_checks))
