"""Tests of tools/release: the rules for version resources, manifests, the example INF and the
Windows Installer packages, and the strictness of the archive and package builders, on crafted
inputs."""

import copy
import io
import os
import sys
import tempfile
import types
import unittest
import zipfile
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools", "release"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "static"))
import check_msi  # noqa: E402
import check_release  # noqa: E402
import checkresults  # noqa: E402
import makemsi  # noqa: E402
import makerelease  # noqa: E402
import releaserules  # noqa: E402

GOOD_MANIFEST = """<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity type="win32" name="X.Y" version="3.0.0.0" processorArchitecture="x86"/>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v2"><security><requestedPrivileges>
    <requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>
  </requestedPrivileges></security></trustInfo>
  <application xmlns="urn:schemas-microsoft-com:asm.v3"><windowsSettings>
    <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
  </windowsSettings></application>
  %s
</assembly>"""

COMMON_CONTROLS = """<dependency><dependentAssembly><assemblyIdentity type="win32"
  name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*"
  publicKeyToken="6595b64144ccf1df" language="*"/></dependentAssembly></dependency>"""


def version_info(**changes):
    strings = {"CompanyName": "Qelvo", "FileDescription": "Qelvo 触摸屏校准程序", "FileVersion": "3.0.0",
               "InternalName": "Marksman", "LegalCopyright": "(C) Qelvo", "OriginalFilename": "Marksman.exe",
               "ProductName": "Qelvo", "ProductVersion": "3.0.0"}
    info = types.SimpleNamespace(machine="x86", fixed_version=(3, 0, 0, 0), fixed_product=(3, 0, 0, 0),
                                 strings={"080404b0": strings}, translations=[(0x0804, 1200)], manifests={})
    for key, value in changes.items():
        if key in strings:
            strings[key] = value
        else:
            setattr(info, key, value)
    return info


class ManifestRules(unittest.TestCase):
    def test_good_manifest_passes(self):
        self.assertEqual(releaserules.manifest_problems((GOOD_MANIFEST % "").encode()), [])

    def test_faults_are_found(self):
        cases = {
            "asm.v3 trustInfo": GOOD_MANIFEST.replace("asm.v2", "asm.v3") % "",
            "asInvoker": GOOD_MANIFEST.replace("requireAdministrator", "asInvoker") % "",
            "uiAccess true": GOOD_MANIFEST.replace('uiAccess="false"', 'uiAccess="true"') % "",
            "dpiAware false": GOOD_MANIFEST.replace(">true<", ">false<") % "",
            "dpiAware outside asm.v3": GOOD_MANIFEST.replace("asm.v3", "asm.v1") % "",
            "common controls 6": GOOD_MANIFEST % COMMON_CONTROLS,
            "not XML": (GOOD_MANIFEST % "").replace("</assembly>", ""),
        }
        for what, text in cases.items():
            with self.subTest(what):
                self.assertNotEqual(releaserules.manifest_problems(text.encode()), [], what)


class VersionRules(unittest.TestCase):
    def test_good_resource_passes(self):
        self.assertEqual(releaserules.version_problems(version_info(), "Marksman.exe", "Qelvo 触摸屏校准程序"), [])

    def test_faults_are_found(self):
        cases = {
            "file version": dict(fixed_version=(3, 0, 0, 1)),
            "product version": dict(fixed_product=(1, 0, 0, 0)),
            "English block": dict(strings={"040904b0": version_info().strings["080404b0"]}),
            "translation": dict(translations=[(0x0409, 1200)]),
            "product version text": dict(ProductVersion="3.00"),
            "original name": dict(OriginalFilename="marksman.exe"),
            "description": dict(FileDescription="Calibration"),
            "empty copyright": dict(LegalCopyright=" "),
        }
        for what, change in cases.items():
            with self.subTest(what):
                info = version_info(**change)
                self.assertNotEqual(releaserules.version_problems(info, "Marksman.exe", "Qelvo 触摸屏校准程序"), [])

    def test_english_block(self):
        english = dict(version_info().strings["080404b0"], FileDescription="Qelvo Touch Screen Calibration",
                       LegalCopyright="Copyright (C) Qelvo")

        def both(**changes):
            info = version_info(translations=[(0x0804, 1200), (0x0409, 1200)])
            info.strings["040904b0"] = dict(english, **changes)
            return info

        self.assertEqual(releaserules.version_problems(both(), "Marksman.exe", "Qelvo 触摸屏校准程序",
                                                       "Qelvo Touch Screen Calibration"), [])
        cases = {
            "no English block": version_info(translations=[(0x0804, 1200), (0x0409, 1200)]),
            "no English translation": types.SimpleNamespace(**dict(vars(both()), translations=[(0x0804, 1200)])),
            "Chinese description in English": both(FileDescription="Qelvo 触摸屏校准程序"),
            "Chinese product name in English": both(ProductName="Qelvo 触摸屏软件"),
            "wrong version": both(FileVersion="3.0"),
            "empty product name": both(ProductName=""),
        }
        for what, info in cases.items():
            with self.subTest(what):
                self.assertNotEqual(releaserules.version_problems(info, "Marksman.exe", "Qelvo 触摸屏校准程序",
                                                                  "Qelvo Touch Screen Calibration"), [], what)

    def test_library_with_manifest_fails(self):
        info = version_info(OriginalFilename="Fitment.dll", InternalName="Fitment", FileDescription="库",
                            manifests={(2, 0): b"<assembly/>"})
        self.assertTrue(any("manifest" in p for p in releaserules.binary_problems(info, "Fitment.dll", "库", False, "x86")))
        info.machine = "x64"
        self.assertTrue(any("machine" in p for p in releaserules.binary_problems(info, "Fitment.dll", "库", False, "x86")))


class InfRules(unittest.TestCase):
    GOOD = "\r\n".join([
        "[Version]", 'Signature = "$Windows NT$"', "[Manufacturer]", "%M% = Models",
        "[Dev.Install.CoInstallers]", "AddReg = Co.AddReg",
        "[Co.AddReg]", 'HKR,,CoInstallers32,0x00010000,"Fitment.dll,Vuviruvuz"',
        "[TouchAutoInstall]", "ManufacturerName = %M%   ; the same text", "[Strings]", 'M = "Qelvo"', ""])

    def test_good_inf_passes(self):
        self.assertEqual(check_release.inf_problems(self.GOOD), [])

    def test_faults_are_found(self):
        cases = {
            "other manufacturer": self.GOOD.replace("ManufacturerName = %M%", 'ManufacturerName = "qelvo"'),
            "no section": self.GOOD.replace("[TouchAutoInstall]", "[Other]"),
            "entry point": self.GOOD.replace("Vuviruvuz", "CoInstaller"),
            "string, not multi-string": self.GOOD.replace("0x00010000", "0x00000000"),
            "commented out": self.GOOD.replace("HKR,,", "; HKR,,"),
        }
        for what, text in cases.items():
            with self.subTest(what):
                self.assertNotEqual(check_release.inf_problems(text), [], what)

    def test_shipped_example_passes(self):
        with open(os.path.join(HERE, "..", "..", "..", "release", "example-coinstaller.inf"), encoding="ascii") as f:
            self.assertEqual(check_release.inf_problems(f.read().replace("\n", "\r\n")), [])


class ArchiveBuilder(unittest.TestCase):
    def run_builder(self, tree, out, *extra):
        err = io.StringIO()
        with redirect_stdout(io.StringIO()), redirect_stderr(err):
            status = makerelease.main(["--win32", tree, "--win64", tree, "--out", out, *extra])
        return status, err.getvalue()

    def test_missing_binaries_fail_and_remove_a_stale_archive(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "release")
            os.makedirs(out)
            stale = os.path.join(out, "qelvo-touch-3.0.0-x86.zip")
            open(stale, "wb").close()
            status, err = self.run_builder(os.path.join(tmp, "tree"), out)
            self.assertEqual(status, 1)
            self.assertIn("Setwell.exe is missing", err)
            self.assertFalse(os.path.exists(stale))

    def test_allow_missing_packs_what_exists(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "release")
            status, _ = self.run_builder(os.path.join(tmp, "tree"), out, "--allow-missing")
            self.assertEqual(status, 0)
            with zipfile.ZipFile(os.path.join(out, "qelvo-touch-3.0.0-x64.zip")) as z:
                names = z.namelist()
                self.assertIn("qelvo-touch-3.0.0-x64/README-CN.txt", names)
                note = z.read("qelvo-touch-3.0.0-x64/README-CN.txt")
            self.assertTrue(note.startswith(b"\xff\xfe"))
            self.assertEqual(check_release.note_problems("README-CN.txt", check_release.text_of("README-CN.txt", note)), [])


def row(tables, table, key, value):
    return next(r for r in tables[table] if r[key] == value)


class PackageRules(unittest.TestCase):
    """Packages built by makemsi.py from stand-in binaries, read back as check_msi.py reads them;
    each fault written into the tables must be found."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.read = {}
        for arch in ("x86", "x64"):
            path = os.path.join(cls.tmp.name, "%s.msi" % arch)
            files = [(name, ("stand-in %s %s" % (arch, name)).encode()) for name, _, _ in makerelease.shipped.BINARIES]
            problems = makemsi.build_package(path, arch, "3.0.0", files)
            assert not problems, problems
            cls.read[arch] = (check_msi.read_summary(path), check_msi.read_tables(path))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_built_packages_pass(self):
        for arch, (summary, tables) in self.read.items():
            with self.subTest(arch):
                self.assertEqual(releaserules.package_problems(summary, tables, arch, "3.0.0"), [])
                self.assertEqual(check_msi.text_problems(summary, tables, check_msi.written_texts(arch, "3.0.0")), [])

    def test_faults_are_found(self):
        def shortcut(name, column, value):
            return lambda s, t: row(t, "Shortcut", "Name", name).__setitem__(column, value)

        def sequence(table, action, value):
            return lambda s, t: row(t, table, "Action", action).__setitem__("Sequence", value)

        cases = {
            "x86 platform": ("x64", lambda s, t: s.__setitem__("Template", "Intel;1033")),
            "schema 100": ("x86", lambda s, t: s.__setitem__("Version", "100 (64)")),
            "uncompressed": ("x86", lambda s, t: s.__setitem__("Source", "0 (0)")),
            "per user": ("x86", lambda s, t: t["Property"].remove(row(t, "Property", "Property", "ALLUSERS"))),
            "Modify offered": ("x64", lambda s, t: t["Property"].remove(row(t, "Property", "Property", "ARPNOMODIFY"))),
            "no working folder": ("x64", shortcut("Qelvo 触摸屏设置程序", "WkDir", "")),
            "another program": ("x86", shortcut("Qelvo 触摸屏设置程序", "Target", "[INSTALLDIR]Scribe.exe")),
            "advertised": ("x64", shortcut("Qelvo 触摸屏划线测试程序", "Target", "Touch")),
            "English name": ("x86", shortcut("Qelvo 触摸屏校准程序", "Name", "Marksman")),
            "code page": ("x64", lambda s, t: t.__setitem__("_ForceCodepage", [{"Codepage": "1252"}])),
            "x86 on 64-bit Windows": ("x86", lambda s, t: t["LaunchCondition"].remove(
                row(t, "LaunchCondition", "Condition", "NOT VersionNT64"))),
            "before Windows 2000": ("x64", lambda s, t: row(t, "LaunchCondition", "Condition", "VersionNT >= 500")
                                    .__setitem__("Condition", "VersionNT >= 400")),
            "downgrade allowed": ("x64", lambda s, t: t["Upgrade"].remove(
                row(t, "Upgrade", "ActionProperty", "WIX_DOWNGRADE_DETECTED"))),
            "same version replaced": ("x86", lambda s, t: row(t, "Upgrade", "ActionProperty", "WIX_UPGRADE_DETECTED")
                                      .__setitem__("Attributes", "513")),
            "other upgrade code": ("x86", lambda s, t: row(t, "Upgrade", "ActionProperty", "WIX_UPGRADE_DETECTED")
                                   .__setitem__("UpgradeCode", "{00000000-0000-0000-0000-000000000000}")),
            "late removal": ("x64", sequence("InstallExecuteSequence", "RemoveExistingProducts", "6601")),
            "folder after costing": ("x64", sequence("InstallUISequence", "UseRememberedDir", "1001")),
            "command line overridden": ("x86", lambda s, t: row(t, "InstallExecuteSequence", "Action", "UseRememberedDir")
                                        .__setitem__("Condition", "QELVO_REMEMBERED_DIR")),
            "32-bit registry view": ("x64", lambda s, t: row(t, "RegLocator", "Name", "InstallDir").__setitem__("Type", "2")),
            "folder not remembered": ("x86", lambda s, t: t["Registry"].remove(row(t, "Registry", "Name", "InstallDir"))),
            "32-bit component": ("x64", lambda s, t: row(t, "Component", "Component", "Setwell").__setitem__("Attributes", "0")),
            "menu folder left": ("x86", lambda s, t: t["RemoveFile"].remove(row(t, "RemoveFile", "DirProperty", "MenuFolder"))),
            "file elsewhere": ("x86", lambda s, t: row(t, "Component", "Component", "Fitment").__setitem__("Directory_", "QelvoFolder")),
        }
        for what, (arch, change) in cases.items():
            with self.subTest(what):
                summary, tables = copy.deepcopy(self.read[arch])
                change(summary, tables)
                self.assertNotEqual(releaserules.package_problems(summary, tables, arch, "3.0.0"), [], what)
        summary, tables = self.read["x64"]
        self.assertNotEqual(releaserules.package_problems(summary, tables, "x64", "3.0.1"), [], "other version")

    def test_texts_that_do_not_read_back_are_found(self):
        for what, table, key, value, column in [
                ("shortcut description", "Shortcut", "Name", "Qelvo 触摸屏设置程序", "Description"),
                ("mangled message", "LaunchCondition", "Condition", "VersionNT >= 500", "Description"),
                ("folder name", "Directory", "Directory", "MenuFolder", "DefaultDir")]:
            with self.subTest(what):
                summary, tables = copy.deepcopy(self.read["x86"])
                row(tables, table, key, value)[column] = "Qelvo ?????"
                texts = check_msi.written_texts("x86", "3.0.0")
                self.assertNotEqual(check_msi.text_problems(summary, tables, texts), [], what)

    def test_notes_without_the_administrators_section_fail(self):
        for name in ("README-CN.txt", "README-EN.txt"):
            with open(os.path.join(HERE, "..", "..", "..", "release", name), encoding="utf-8") as f:
                text = f.read()
            with self.subTest(name):
                self.assertEqual(check_release.note_problems(name, text), [])
                for word in ("msiexec /x {ProductCode} /qn", "1638", "Qelvo 触摸屏设置程序", "INSTALLDIR="):
                    problems = check_release.note_problems(name, text.replace(word, "..."))
                    self.assertTrue(any(word in p for p in problems), (word, problems))

    def test_missing_binary_fails_and_removes_a_stale_package(self):
        with tempfile.TemporaryDirectory() as tmp:
            stale = os.path.join(tmp, "qelvo-touch-3.0.0-x64.msi")
            open(stale, "wb").close()
            err = io.StringIO()
            with redirect_stdout(io.StringIO()), redirect_stderr(err):
                status = makemsi.main(["--win64", os.path.join(tmp, "tree"), "--arch", "x64", "--out", tmp])
            self.assertEqual(status, 1)
            self.assertIn("Setwell.exe is missing", err.getvalue())
            self.assertFalse(os.path.exists(stale))


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
