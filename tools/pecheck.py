"""Reading the headers and import tables of PE images, and judging them against Windows 2000.

Standard library only; tests/static/check_pe.py runs it over the build trees and
tests/native/tools/pecheck_test.py tests it on crafted and MinGW-built images.
"""

import os
import struct
from dataclasses import dataclass, field

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
MAGIC_PE32 = 0x10B
MAGIC_PE32_PLUS = 0x20B
IMAGE_FILE_DLL = 0x2000

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
WIN2000_DLLS_FILE = os.path.join(TOOLS_DIR, "win2000-dlls.txt")
POST_WIN2000_APIS_FILE = os.path.join(TOOLS_DIR, "post-win2000-apis.txt")


class PeError(Exception):
    pass


@dataclass
class PeInfo:
    machine: int
    magic: int
    characteristics: int
    subsystem: int
    subsystem_version: tuple
    os_version: tuple
    # DLL name as written in the image -> imported names ("#n" for an import by ordinal).
    imports: dict = field(default_factory=dict)
    delay_imports: dict = field(default_factory=dict)

    @property
    def is_dll(self):
        return bool(self.characteristics & IMAGE_FILE_DLL)

    def all_imports(self):
        """(dll, name) pairs of the ordinary and the delay-load imports."""
        for table in (self.imports, self.delay_imports):
            for dll, names in table.items():
                for name in names:
                    yield dll, name


class _Image:
    def __init__(self, data):
        self.data = data
        self.sections = []  # (virtual address, virtual size, raw pointer, raw size)
        self.size_of_headers = 0

    def u16(self, off):
        return self._unpack("<H", off)

    def u32(self, off):
        return self._unpack("<I", off)

    def u64(self, off):
        return self._unpack("<Q", off)

    def _unpack(self, fmt, off):
        size = struct.calcsize(fmt)
        if off < 0 or off + size > len(self.data):
            raise PeError(f"truncated image: read of {size} bytes at 0x{off:x} past its end")
        return struct.unpack_from(fmt, self.data, off)[0]

    def offset(self, rva):
        if rva < self.size_of_headers:
            return rva
        for va, vsize, raw, rawsize in self.sections:
            if va <= rva < va + max(vsize, rawsize):
                if rva - va >= rawsize:
                    raise PeError(f"RVA 0x{rva:x} lies in a section's uninitialised tail")
                return raw + rva - va
        raise PeError(f"RVA 0x{rva:x} lies in no section")

    def cstring(self, rva, limit=512):
        off = self.offset(rva)
        end = self.data.find(b"\0", off, off + limit)
        if end < 0:
            raise PeError(f"unterminated name at RVA 0x{rva:x}")
        return self.data[off:end].decode("ascii", errors="replace")


def parse(data):
    img = _Image(data)
    if img.u16(0) != 0x5A4D:
        raise PeError("no MZ header")
    pe = img.u32(0x3C)
    if img.u32(pe) != 0x00004550:
        raise PeError("no PE signature")
    coff = pe + 4
    machine = img.u16(coff)
    nsections = img.u16(coff + 2)
    opt_size = img.u16(coff + 16)
    characteristics = img.u16(coff + 18)
    opt = coff + 20
    magic = img.u16(opt)
    if magic == MAGIC_PE32:
        image_base = img.u32(opt + 28)
        dirs_count_off, dirs_off, thunk_size = opt + 92, opt + 96, 4
    elif magic == MAGIC_PE32_PLUS:
        image_base = img.u64(opt + 24)
        dirs_count_off, dirs_off, thunk_size = opt + 108, opt + 112, 8
    else:
        raise PeError(f"unknown optional header magic 0x{magic:x}")
    os_version = (img.u16(opt + 40), img.u16(opt + 42))
    subsystem_version = (img.u16(opt + 48), img.u16(opt + 50))
    img.size_of_headers = img.u32(opt + 60)
    subsystem = img.u16(opt + 68)
    ndirs = min(img.u32(dirs_count_off), 16)
    if dirs_off + 8 * ndirs > opt + opt_size:
        raise PeError("data directories run past the optional header")

    sec = opt + opt_size
    for i in range(nsections):
        s = sec + 40 * i
        img.sections.append((img.u32(s + 12), img.u32(s + 8), img.u32(s + 20), img.u32(s + 16)))

    def directory(index):
        if index >= ndirs:
            return 0, 0
        return img.u32(dirs_off + 8 * index), img.u32(dirs_off + 8 * index + 4)

    info = PeInfo(machine, magic, characteristics, subsystem, subsystem_version, os_version)

    def names_from_thunks(rva):
        names = []
        ordinal_flag = 1 << (8 * thunk_size - 1)
        for _ in range(65536):
            off = img.offset(rva)
            value = img.u32(off) if thunk_size == 4 else img.u64(off)
            if value == 0:
                return names
            if value & ordinal_flag:
                names.append(f"#{value & 0xFFFF}")
            else:
                names.append(img.cstring((value & 0x7FFFFFFF) + 2))
            rva += thunk_size
        raise PeError("import thunk list without an end")

    rva, size = directory(1)
    if rva:
        for i in range(65536):
            d = img.offset(rva + 20 * i)
            lookup, name_rva, iat = img.u32(d), img.u32(d + 12), img.u32(d + 16)
            if lookup == 0 and name_rva == 0 and iat == 0:
                break
            dll = img.cstring(name_rva)
            info.imports.setdefault(dll, []).extend(names_from_thunks(lookup or iat))

    rva, size = directory(13)
    if rva:
        for i in range(65536):
            d = img.offset(rva + 32 * i)
            attrs, name, int_rva = img.u32(d), img.u32(d + 4), img.u32(d + 16)
            if name == 0:
                break
            if not attrs & 1:  # the old format holds virtual addresses
                name -= image_base
                int_rva -= image_base
            dll = img.cstring(name)
            info.delay_imports.setdefault(dll, []).extend(names_from_thunks(int_rva))
    return info


def parse_file(path):
    with open(path, "rb") as f:
        return parse(f.read())


def load_dll_list(path=WIN2000_DLLS_FILE):
    """One DLL name a line, '#' starts a comment; names compare without case."""
    dlls = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                dlls.add(line.lower())
    return dlls


def load_api_list(path=POST_WIN2000_APIS_FILE):
    """Lines "<dll> <function>" ('#' starts a comment): {dll in lower case: set of functions}."""
    apis = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if len(parts) != 2:
                raise ValueError(f"{path}:{number}: expected '<dll> <function>'")
            apis.setdefault(parts[0].lower(), set()).add(parts[1])
    return apis


def check_x86(info, allowed_dlls, denied_apis):
    """Checks for the Windows 2000 target: a list of (check, ok, message)."""
    checks = []
    ok = info.machine == MACHINE_I386 and info.magic == MAGIC_PE32
    checks.append(("pe32-i386", ok, "" if ok else
                   f"machine 0x{info.machine:x}, optional header magic 0x{info.magic:x}"))
    ok = info.subsystem_version <= (5, 0)
    checks.append(("subsystem-version", ok, "" if ok else
                   "subsystem version %d.%d; Windows 2000 loads 5.0 at most" % info.subsystem_version))
    ok = info.os_version <= (5, 0)
    checks.append(("os-version", ok, "" if ok else
                   "OS version %d.%d; Windows 2000 is 5.0" % info.os_version))
    dlls = sorted(set(info.imports) | set(info.delay_imports))
    unknown = [d for d in dlls if d.lower() not in allowed_dlls]
    checks.append(("imported-dlls", not unknown, "" if not unknown else
                   "not part of Windows 2000: " + ", ".join(unknown)))
    denied = sorted({f"{dll}!{name}" for dll, name in info.all_imports()
                     if name in denied_apis.get(dll.lower(), ())})
    checks.append(("imported-apis", not denied, "" if not denied else
                   "newer than Windows 2000: " + ", ".join(denied)))
    return checks


def check_x64(info):
    ok = info.machine == MACHINE_AMD64 and info.magic == MAGIC_PE32_PLUS
    return [("pe32plus-x86-64", ok, "" if ok else
             f"machine 0x{info.machine:x}, optional header magic 0x{info.magic:x}")]
