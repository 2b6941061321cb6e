"""Tests of tools/release: the rules for version resources, manifests and the example INF, and
the strictness of the archive builder, on crafted inputs."""

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
import check_release  # noqa: E402
import checkresults  # noqa: E402
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


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
