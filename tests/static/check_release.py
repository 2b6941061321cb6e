#!/usr/bin/env python3
"""The release archives that scripts/release.sh wrote into <build>/release (the folder beside
the win32 tree; QELVO_RELEASE_DIR names another): each holds exactly one folder with the shipped
binaries of its architecture and the notes; every binary is the one of its build tree (less its
signature, in a signed release), of the archive's machine, with its version resource and
manifest; the notes tell what Windows needs to know about the co-installer."""

import os
import re
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "release"))

import checkresults  # noqa: E402
import peimage  # noqa: E402
import releaserules  # noqa: E402
import shipped  # noqa: E402
import sign  # noqa: E402


def text_of(name, data):
    if name.endswith(".txt"):
        if not data.startswith(b"\xff\xfe"):
            raise ValueError("%s is not UTF-16LE with a byte-order mark" % name)
        return data[2:].decode("utf-16-le")
    return data.decode("ascii")


def inf_sections(text):
    """{section name (lower case): [lines without comments]} of an INF file."""
    sections, current = {}, None
    for line in text.split("\r\n"):
        line = line.split(";", 1)[0].strip()
        if not line:
            continue
        m = re.fullmatch(r"\[([^\]]+)\]", line)
        if m:
            current = sections.setdefault(m.group(1).strip().lower(), [])
        elif current is not None:
            current.append(line)
    return sections


def inf_problems(text):
    sections = inf_sections(text)
    problems = []
    strings = {}
    for line in sections.get("strings", []):
        key, _, value = line.partition("=")
        strings[key.strip().lower()] = value.strip().strip('"')

    def expand(value):
        return re.sub(r"%([^%]+)%", lambda m: strings.get(m.group(1).lower(), m.group(0)), value.strip())

    coinstaller = [line for lines in sections.values() for line in lines
                   if re.fullmatch(r'HKR,\s*,\s*CoInstallers32\s*,\s*0x00010000\s*,\s*"Fitment\.dll,Vuviruvuz"', line)]
    if len(coinstaller) != 1:
        problems.append("no AddReg line HKR,,CoInstallers32,0x00010000,\"Fitment.dll,Vuviruvuz\"")
    if not any(name.endswith(".coinstallers") for name in sections):
        problems.append("no <install section>.CoInstallers section")
    auto = sections.get("touchautoinstall")
    if auto is None:
        problems.append("no [TouchAutoInstall] section")
    else:
        values = [expand(line.partition("=")[2]) for line in auto if line.partition("=")[0].strip() == "ManufacturerName"]
        makers = [expand(line.partition("=")[0]) for line in sections.get("manufacturer", [])]
        if len(values) != 1 or values[0] not in makers:
            problems.append("ManufacturerName %s does not name the manufacturer of [Manufacturer] %s" % (values, makers))
    return problems


def note_problems(name, text):
    problems = []
    needed = [n for n, _, _ in shipped.BINARIES] + ["Fitment.dll,Vuviruvuz", "CoInstallers32", "TouchAutoInstall",
                                                     "ManufacturerName"]
    # The administrators' section: the packages, silent install and uninstall, the folder, the
    # exit codes and the shortcuts by the names the packages give them.
    needed += [shipped.package_name(arch) for arch in shipped.ARCHES] + [
        "msiexec /i", "/qn", "/l*v", "msiexec /x {ProductCode} /qn", "INSTALLDIR=", "3010", "1603", "1638"]
    needed += ['"%s"' % name for name, _ in shipped.SHORTCUTS]
    needed.append({"README-CN.txt": "组策略", "README-EN.txt": "Group Policy"}.get(name, "Group Policy"))
    for word in needed:
        if word not in text:
            problems.append("%s does not mention %s" % (name, word))
    if name == "README-CN.txt" and "起始位置" not in text:
        problems.append("README-CN.txt does not tell to set the shortcut's 起始位置")
    if name == "README-EN.txt" and "Start in" not in text:
        problems.append("README-EN.txt does not tell to set the shortcut's Start in")
    return problems


def run(args, results):
    out = os.environ.get("QELVO_RELEASE_DIR") or os.path.join(os.path.dirname(os.path.abspath(args.win32)), "release")
    for tree, arch in ((args.win32, "x86"), (args.win64, "x64")):
        suite = "release_%s" % arch
        path = os.path.join(out, shipped.archive_name(arch))
        if not results.record(suite + ".ArchiveWritten", os.path.isfile(path),
                              "%s missing: scripts/release.sh did not write it" % path):
            continue
        folder = shipped.folder_name(arch)
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            with results.case(suite + ".Contents") as c:
                expected = sorted(folder + "/" + n for n in [b[0] for b in shipped.BINARIES] + shipped.NOTES)
                c.expect(sorted(names) == expected, "%s holds %s, expected %s" % (path, sorted(names), expected))
                c.expect(z.testzip() is None, "%s has a damaged member" % path)
            for name, description, program in shipped.BINARIES:
                member = folder + "/" + name
                with results.case("%s.%s" % (suite, name)) as c:
                    if not c.expect(member in names, "%s lacks %s" % (path, member)):
                        continue
                    data = z.read(member)
                    for problem in releaserules.binary_problems(peimage.version_info(data), name, description,
                                                                program, arch, shipped.ENGLISH_DESCRIPTIONS[name]):
                        c.fail("%s: %s" % (member, problem))
                    built = shipped.find(tree, name)
                    if built:
                        # A signed release carries the tree's binary with a signature added.
                        with open(built[0], "rb") as f:
                            c.expect(f.read() == sign.unsigned(data),
                                     "%s differs from %s: the archive is stale" % (member, built[0]))
            for name in shipped.NOTES:
                member = folder + "/" + name
                with results.case("%s.%s" % (suite, name)) as c:
                    if not c.expect(member in names, "%s lacks %s" % (path, member)):
                        continue
                    data = z.read(member)
                    text = text_of(name, data)
                    c.expect("\n" not in text.replace("\r\n", ""), "%s has bare LF line ends" % name)
                    problems = inf_problems(text) if name.endswith(".inf") else note_problems(name, text)
                    for problem in problems:
                        c.fail("%s: %s" % (member, problem))


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
