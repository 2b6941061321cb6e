#!/usr/bin/env python3
"""The Windows Installer packages that scripts/release.sh wrote beside the archives, read back with
msitools: summary (schema, platform, word count), the rows of tools/release/releaserules.py
(per-machine, folders, shortcuts with their working folder, launch conditions, upgrade rows, the
remembered install folder), every text of release/qelvo-touch.wxs as the package reads it back,
and the installed files and the product icon byte for byte against the archive of the same
architecture. QELVO_RELEASE_DIR names another folder than <build>/release."""

import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "release"))

import checkresults  # noqa: E402
import makemsi  # noqa: E402
import releaserules  # noqa: E402
import shipped  # noqa: E402

WIX = "{http://schemas.microsoft.com/wix/2006/wi}"


def tool(*args, cwd=None):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60, check=True, cwd=cwd).stdout


def read_summary(path):
    summary = {}
    for line in tool("msiinfo", "suminfo", path).decode("utf-8").splitlines():
        key, sep, value = line.partition(": ")
        if sep:
            summary[key.strip()] = value.strip()
    return summary


def read_tables(path):
    """{table: [{column: value}]} from `msiinfo export` (idt text: names, types, keys, rows)."""
    tables = {}
    path = os.path.abspath(path)
    # A table with a binary column is exported with its streams as files beside it.
    with tempfile.TemporaryDirectory(prefix="qelvo-msi-tables-") as streams:
        for name in tool("msiinfo", "tables", path).decode("ascii").split():
            if name.startswith("_"):
                continue
            lines = tool("msiinfo", "export", path, name, cwd=streams).decode("utf-8").split("\r\n")
            columns = lines[0].split("\t")
            tables[name] = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
        # _ForceCodepage exports as two empty lines and "<code page>\t_ForceCodepage".
        lines = tool("msiinfo", "export", path, "_ForceCodepage", cwd=streams).decode("utf-8").split("\r\n")
        tables["_ForceCodepage"] = [{"Codepage": line.split("\t")[0]} for line in lines if "\t" in line]
    return tables


def written_texts(arch, version):
    """(what, table or 'summary', column, text) for every text the WiX source writes, preprocessed."""
    out = tool("wixl", "-E", "-a", arch, "-D", "Version=" + version, "-D", "Arch=" + arch,
               "-D", "ProductCode=" + shipped.product_code(arch, version), "-D", "SourceDir=.",
               makemsi.WXS)
    root = ET.fromstring(out)
    texts = []
    for e in root.iter():
        tag = e.tag.replace(WIX, "")
        attrs = {
            "Product": [("Name", "Property:ProductName"), ("Manufacturer", "Property:Manufacturer")],
            "Package": [("Description", "summary:Subject"), ("Comments", "summary:Comments")],
            "Condition": [("Message", "LaunchCondition:Description")],
            "MajorUpgrade": [("DowngradeErrorMessage", "LaunchCondition:Description")],
            "Directory": [("Name", "Directory:DefaultDir")],
            # The shortcuts' names are makemsi.py's (shipped.SHORTCUTS), checked by the rules.
            "Shortcut": [("Description", "Shortcut:Description")],
            "File": [("Name", "File:FileName")],
        }.get(tag, [])
        for attr, where in attrs:
            if e.get(attr) is not None:
                table, column = where.split(":")
                texts.append(("%s/@%s" % (tag, attr), table, column, e.get(attr)))
    return texts


def text_problems(summary, tables, texts):
    problems = []
    for what, table, column, text in texts:
        if table == "summary":
            found = [summary.get(column)]
        elif table == "Property":
            found = [r["Value"] for r in tables.get("Property", []) if r["Property"] == column]
        else:
            found = [r.get(column) for r in tables.get(table, [])]
        if text not in found:
            problems.append("%s %r does not read back (%s %s holds %s)" % (what, text, table, column, found))
    return problems


def run(args, results):
    build = os.path.dirname(os.path.abspath(args.win32))
    out = os.environ.get("QELVO_RELEASE_DIR") or os.path.join(build, "release")
    for arch in shipped.ARCHES:
        suite = "package_%s" % arch
        path = os.path.join(out, shipped.package_name(arch))
        archive = os.path.join(out, shipped.archive_name(arch))
        if not results.record(suite + ".PackageWritten", os.path.isfile(path),
                              "%s missing: scripts/release.sh did not write it" % path):
            continue
        summary, tables = read_summary(path), read_tables(path)
        with results.case(suite + ".SummaryAndTables") as c:
            for problem in releaserules.package_problems(summary, tables, arch, shipped.VERSION):
                c.fail("%s: %s" % (path, problem))
        with results.case(suite + ".TextsReadBackAsWritten") as c:
            for problem in text_problems(summary, tables, written_texts(arch, shipped.VERSION)):
                c.fail("%s: %s" % (path, problem))
        with results.case(suite + ".FilesAsInArchive") as c:
            if not c.expect(os.path.isfile(archive), "%s missing" % archive):
                continue
            folder = shipped.folder_name(arch) + "/"
            with zipfile.ZipFile(archive) as z:
                expected = {n[len(folder):]: z.read(n) for n in z.namelist() if n.startswith(folder)}
            with tempfile.TemporaryDirectory(prefix="qelvo-msi-check-") as tmp:
                tool("msiextract", "-C", tmp, path)
                found = {}
                for root, _, files in os.walk(tmp):
                    for name in files:
                        full = os.path.join(root, name)
                        with open(full, "rb") as f:
                            found[os.path.relpath(full, tmp)] = f.read()
            # msiextract names the 32-bit Program Files folder and leaves out the 64-bit one.
            prefix = ("Program Files/" if arch == "x86" else "") + "Qelvo/Touch/"
            wanted = {prefix + n: data for n, data in expected.items()}
            c.expect(sorted(found) == sorted(wanted), "%s installs %s, expected %s" % (path, sorted(found), sorted(wanted)))
            for name in sorted(set(found) & set(wanted)):
                c.expect(found[name] == wanted[name], "%s: %s differs from the archive's" % (path, name))
            icon = tool("msiinfo", "extract", path, "Icon.Setwell.exe")
            c.expect(icon == expected.get("Setwell.exe"), "%s: the product icon is not Setwell.exe" % path)


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
