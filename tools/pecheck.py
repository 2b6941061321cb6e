"""The headers and import tables of PE images (read with pefile, through peimage), judged against
Windows 2000. tests/static/check_pe.py runs it over the build trees and
tests/native/tools/pecheck_test.py tests it on crafted and MinGW-built images.
"""

import os
from dataclasses import dataclass, field

import peimage
from peimage import MACHINE_AMD64, MACHINE_I386, MAGIC_PE32, MAGIC_PE32_PLUS, PeError  # noqa: F401

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
WIN2000_DLLS_FILE = os.path.join(TOOLS_DIR, "win2000-dlls.txt")
POST_WIN2000_APIS_FILE = os.path.join(TOOLS_DIR, "post-win2000-apis.txt")
SHIPPED_BINARIES_FILE = os.path.join(TOOLS_DIR, "shipped-binaries.txt")


@dataclass
class PeInfo:
    machine: int
    magic: int
    subsystem_version: tuple
    os_version: tuple
    # DLL name as written in the image -> imported names ("#n" for an import by ordinal).
    imports: dict = field(default_factory=dict)
    delay_imports: dict = field(default_factory=dict)

    def all_imports(self):
        """(dll, name) pairs of the ordinary and the delay-load imports."""
        for table in (self.imports, self.delay_imports):
            for dll, names in table.items():
                for name in names:
                    yield dll, name


def parse(data):
    pe = peimage.load(data, (peimage.DIRECTORY_IMPORT, peimage.DIRECTORY_DELAY_IMPORT))
    opt = pe.OPTIONAL_HEADER
    info = PeInfo(pe.FILE_HEADER.Machine, opt.Magic, (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion),
                  (opt.MajorOperatingSystemVersion, opt.MinorOperatingSystemVersion))
    for table, entries in ((info.imports, getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])),
                           (info.delay_imports, getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []))):
        for entry in entries:
            table.setdefault(entry.dll.decode("ascii", errors="replace"), []).extend(
                imp.name.decode("ascii", errors="replace") if imp.name is not None else "#%d" % imp.ordinal
                for imp in entry.imports)
    return info


def parse_file(path):
    with open(path, "rb") as f:
        return parse(f.read())


def _names_in(path):
    """The names of a list file: one a line, '#' starts a comment."""
    with open(path, encoding="utf-8") as f:
        return [n for n in (line.split("#", 1)[0].strip() for line in f) if n]


def load_dll_list(path=WIN2000_DLLS_FILE):
    """The DLLs Windows 2000 has; names compare without case."""
    return {name.lower() for name in _names_in(path)}


def load_shipped_list(path=SHIPPED_BINARIES_FILE):
    """The file names of the binaries that ship, in the list's order."""
    return _names_in(path)


def load_api_list(path=POST_WIN2000_APIS_FILE):
    """Lines "<dll> <function>" ('#' starts a comment): {dll in lower case: set of functions}."""
    apis = {}
    for line in _names_in(path):
        parts = line.split()
        if len(parts) != 2:
            raise ValueError(f"{path}: expected '<dll> <function>', not {line!r}")
        apis.setdefault(parts[0].lower(), set()).add(parts[1])
    return apis


def check_x86(info, allowed_dlls, denied_apis):
    """Checks for the Windows 2000 target: a list of (check, ok, message)."""
    unknown = [d for d in sorted(set(info.imports) | set(info.delay_imports)) if d.lower() not in allowed_dlls]
    denied = sorted({f"{dll}!{name}" for dll, name in info.all_imports()
                     if name in denied_apis.get(dll.lower(), ())})
    checks = [
        ("pe32-i386", info.machine == MACHINE_I386 and info.magic == MAGIC_PE32,
         f"machine 0x{info.machine:x}, optional header magic 0x{info.magic:x}"),
        ("subsystem-version", info.subsystem_version <= (5, 0),
         "subsystem version %d.%d; Windows 2000 loads 5.0 at most" % info.subsystem_version),
        ("os-version", info.os_version <= (5, 0), "OS version %d.%d; Windows 2000 is 5.0" % info.os_version),
        ("imported-dlls", not unknown, "not part of Windows 2000: " + ", ".join(unknown)),
        ("imported-apis", not denied, "newer than Windows 2000: " + ", ".join(denied)),
    ]
    return [(check, ok, "" if ok else message) for check, ok, message in checks]


def check_x64(info):
    ok = info.machine == MACHINE_AMD64 and info.magic == MAGIC_PE32_PLUS
    return [("pe32plus-x86-64", ok, "" if ok else
             f"machine 0x{info.machine:x}, optional header magic 0x{info.magic:x}")]
