"""Tests of tools/pecheck.py on crafted images and on images linked by MinGW-w64."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools"))
import checkresults  # noqa: E402
import pecheck  # noqa: E402

SECTION_RVA = 0x1000
FILE_ALIGN = 0x200


def craft_pe(machine=pecheck.MACHINE_I386, plus=False, subsystem_version=(5, 0), os_version=(5, 0),
             imports=None, delay_imports=None, descriptor_rvas=None):
    """A PE image with one section holding import tables (not loadable, but well formed unless
    descriptor_rvas, (name, lookup, iat), replaces the RVAs of every import descriptor)."""
    imports = imports or {}
    delay_imports = delay_imports or {}
    thunk = 8 if plus else 4
    body = bytearray()

    def put(data, align=4):
        while len(body) % align:
            body.append(0)
        rva = SECTION_RVA + len(body)
        body.extend(data)
        return rva

    def put_names(names):
        entries = []
        for name in names:
            if name.startswith("#"):
                entries.append((1 << (8 * thunk - 1)) | int(name[1:]))
            else:
                entries.append(put(struct.pack("<H", 0) + name.encode() + b"\0", 2))
        return put(b"".join(struct.pack("<Q" if plus else "<I", e) for e in entries + [0]), thunk)

    descriptors = []
    for dll, names in imports.items():
        descriptors.append(descriptor_rvas or (put(dll.encode() + b"\0"), put_names(names), put_names(names)))
    import_rva = put(b"".join(struct.pack("<IIIII", lookup, 0, 0, name, iat)
                              for name, lookup, iat in descriptors) + bytes(20))
    delay = []
    for dll, names in delay_imports.items():
        delay.append((put(dll.encode() + b"\0"), put_names(names)))
    delay_rva = put(b"".join(struct.pack("<8I", 1, name, 0, int_rva, int_rva, 0, 0, 0)
                             for name, int_rva in delay) + bytes(32)) if delay else 0

    opt_size = 240 if plus else 224
    headers = bytearray(0x40)
    headers[0:2] = b"MZ"
    struct.pack_into("<I", headers, 0x3C, 0x40)
    headers += b"PE\0\0" + struct.pack("<HHIIIHH", machine, 1, 0, 0, 0, opt_size, 0x0102)
    opt = bytearray(opt_size)
    struct.pack_into("<H", opt, 0, pecheck.MAGIC_PE32_PLUS if plus else pecheck.MAGIC_PE32)
    if plus:
        struct.pack_into("<Q", opt, 24, 0x140000000)
    else:
        struct.pack_into("<I", opt, 28, 0x400000)
    struct.pack_into("<II", opt, 32, 0x1000, FILE_ALIGN)
    struct.pack_into("<HH", opt, 40, *os_version)
    struct.pack_into("<HH", opt, 48, *subsystem_version)
    struct.pack_into("<II", opt, 56, SECTION_RVA + 0x1000 + len(body), FILE_ALIGN)
    struct.pack_into("<H", opt, 68, 2)
    dirs = 112 if plus else 96
    struct.pack_into("<I", opt, dirs - 4, 16)
    struct.pack_into("<II", opt, dirs + 8, import_rva, 20 * (len(descriptors) + 1))
    if delay_rva:
        struct.pack_into("<II", opt, dirs + 8 * 13, delay_rva, 32 * (len(delay) + 1))
    headers += opt
    raw_size = (len(body) + FILE_ALIGN - 1) // FILE_ALIGN * FILE_ALIGN
    headers += struct.pack("<8sIIIIIIHHI", b".idata", len(body), SECTION_RVA, raw_size, FILE_ALIGN,
                           0, 0, 0, 0, 0xC0000040)
    headers += bytes(FILE_ALIGN - len(headers))
    return bytes(headers) + bytes(body) + bytes(raw_size - len(body))


def failed_checks(info):
    return {name: message for name, ok, message in
            pecheck.check_x86(info, pecheck.load_dll_list(), pecheck.load_api_list()) if not ok}


class CraftedImages(unittest.TestCase):
    def test_reads_headers_and_imports(self):
        info = pecheck.parse(craft_pe(subsystem_version=(5, 1), os_version=(4, 0),
                                      imports={"KERNEL32.dll": ["CreateFileW", "#17"],
                                               "USER32.dll": ["MessageBoxW"]},
                                      delay_imports={"SETUPAPI.dll": ["SetupDiDestroyDeviceInfoList"]}))
        self.assertEqual((info.machine, info.magic), (pecheck.MACHINE_I386, pecheck.MAGIC_PE32))
        self.assertEqual(info.subsystem_version, (5, 1))
        self.assertEqual(info.os_version, (4, 0))
        self.assertEqual(info.imports, {"KERNEL32.dll": ["CreateFileW", "#17"], "USER32.dll": ["MessageBoxW"]})
        self.assertEqual(info.delay_imports, {"SETUPAPI.dll": ["SetupDiDestroyDeviceInfoList"]})

    def test_a_windows_2000_image_passes(self):
        info = pecheck.parse(craft_pe(imports={"KERNEL32.dll": ["CreateFileW", "DeviceIoControl"],
                                               "msvcrt.dll": ["malloc", "_fstati64"]}))
        self.assertEqual(failed_checks(info), {})

    def test_flags_denied_imports_in_either_table_and_unknown_dlls(self):
        info = pecheck.parse(craft_pe(imports={"KERNEL32.dll": ["CreateFileW", "GetModuleHandleExW"],
                                               "api-ms-win-crt-runtime-l1-1-0.dll": ["_initterm"]},
                                      delay_imports={"msvcrt.dll": ["_fstat64"]}))
        failed = failed_checks(info)
        self.assertEqual(set(failed), {"imported-apis", "imported-dlls"})
        self.assertIn("KERNEL32.dll!GetModuleHandleExW", failed["imported-apis"])
        self.assertIn("msvcrt.dll!_fstat64", failed["imported-apis"])
        self.assertNotIn("CreateFileW", failed["imported-apis"])
        self.assertIn("api-ms-win-crt-runtime-l1-1-0.dll", failed["imported-dlls"])

    def test_flags_versions_above_5_0(self):
        for subsystem, os_version, expected in (((6, 0), (5, 0), {"subsystem-version"}),
                                                ((5, 1), (5, 0), {"subsystem-version"}),
                                                ((5, 0), (6, 0), {"os-version"}),
                                                ((4, 0), (4, 0), set())):
            with self.subTest(subsystem=subsystem, os_version=os_version):
                info = pecheck.parse(craft_pe(subsystem_version=subsystem, os_version=os_version))
                self.assertEqual(set(failed_checks(info)), expected)

    def test_tells_the_architectures_apart(self):
        x64 = pecheck.parse(craft_pe(machine=pecheck.MACHINE_AMD64, plus=True,
                                     imports={"KERNEL32.dll": ["ExitProcess"]}))
        self.assertEqual(x64.imports, {"KERNEL32.dll": ["ExitProcess"]})
        self.assertTrue(all(ok for _, ok, _ in pecheck.check_x64(x64)))
        self.assertIn("pe32-i386", failed_checks(x64))
        x86 = pecheck.parse(craft_pe())
        self.assertFalse(any(ok for _, ok, _ in pecheck.check_x64(x86)))

    def test_rejects_damaged_images(self):
        good = craft_pe(imports={"KERNEL32.dll": ["CreateFileW"]})
        nowhere = 0x50000  # beyond the image's one section
        for label, data in (("empty", b""), ("not MZ", b"ZM" + good[2:]),
                            ("cut short", good[:0x120]), ("import table cut off", good[:FILE_ALIGN + 8]),
                            ("DLL name in no section", craft_pe(imports={"KERNEL32.dll": ["CreateFileW"]},
                                                                descriptor_rvas=(nowhere, 0, 0))),
                            ("thunks in no section", craft_pe(imports={"KERNEL32.dll": ["CreateFileW"]},
                                                              descriptor_rvas=(SECTION_RVA, nowhere, nowhere)))):
            with self.subTest(label):
                with self.assertRaises(pecheck.PeError):
                    pecheck.parse(data)


class DenyList(unittest.TestCase):
    def test_lists_parse_and_hold_the_runtime_traps(self):
        apis = pecheck.load_api_list()
        self.assertIn("GetModuleHandleExW", apis["kernel32.dll"])
        self.assertIn("EncodePointer", apis["kernel32.dll"])
        self.assertIn("_fstat64", apis["msvcrt.dll"])
        dlls = pecheck.load_dll_list()
        self.assertTrue({"kernel32.dll", "user32.dll", "setupapi.dll", "msvcrt.dll"} <= dlls)
        self.assertNotIn("api-ms-win-crt-runtime-l1-1-0.dll", dlls)
        self.assertTrue({"Marksman.exe", "Setwell.exe", "Fitment.dll"} <= set(pecheck.load_shipped_list()))

    def test_malformed_line_is_an_error(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("kernel32.dll GetModuleHandleExW\nEncodePointer\n")
        try:
            with self.assertRaises(ValueError):
                pecheck.load_api_list(f.name)
        finally:
            os.unlink(f.name)


WIN2000_FLAGS = ["-Wl,--major-subsystem-version,5", "-Wl,--minor-subsystem-version,0",
                 "-Wl,--major-os-version,5", "-Wl,--minor-os-version,0"]


class MinGWImages(unittest.TestCase):
    """Images linked by the real cross toolchains, so the parser is not only checked against itself."""

    def build(self, compiler, source, flags):
        if shutil.which(compiler) is None:
            self.fail(f"{compiler} is not installed (scripts/setup.sh installs it)")
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, "probe.c")
            exe = os.path.join(tmp, "probe.exe")
            with open(src, "w") as f:
                f.write(source)
            run = subprocess.run([compiler, "-O1", src, "-o", exe] + flags, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
            return pecheck.parse_file(exe)

    def test_xp_call_and_subsystem_6_0_are_flagged(self):
        source = ("#define _WIN32_WINNT 0x0501\n#include <windows.h>\n"
                  "int main(void) { HMODULE m; return GetModuleHandleExW(0, 0, &m) ? 0 : 1; }\n")
        info = self.build("i686-w64-mingw32-gcc", source, ["-Wl,--major-subsystem-version,6",
                                                           "-Wl,--minor-subsystem-version,0"])
        self.assertEqual((info.machine, info.magic), (pecheck.MACHINE_I386, pecheck.MAGIC_PE32))
        self.assertEqual(info.subsystem_version, (6, 0))
        failed = failed_checks(info)
        self.assertIn("subsystem-version", failed)
        self.assertIn("GetModuleHandleExW", failed["imported-apis"])

    def test_win2000_flags_pass_and_x64_is_pe32_plus(self):
        source = "#include <windows.h>\nint main(void) { return GetTickCount() == 0; }\n"
        info = self.build("i686-w64-mingw32-gcc", source, WIN2000_FLAGS)
        self.assertEqual((info.subsystem_version, info.os_version), ((5, 0), (5, 0)))
        self.assertEqual(failed_checks(info), {})
        self.assertIn("GetTickCount", [n for d, n in info.all_imports() if d.lower() == "kernel32.dll"])
        x64 = self.build("x86_64-w64-mingw32-gcc", source, [])
        self.assertEqual((x64.machine, x64.magic), (pecheck.MACHINE_AMD64, pecheck.MAGIC_PE32_PLUS))


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
