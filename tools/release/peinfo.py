"""What the release checks read from a shipped PE with pefile: machine, version resource and
application manifest.

    info = read(path)         # or read_bytes(data, name)
    info.machine              # "x86" / "x64" / hex of anything else
    info.fixed_version        # (3, 0, 0, 0) file version of VS_FIXEDFILEINFO
    info.fixed_product        # product version of VS_FIXEDFILEINFO
    info.strings              # {"080404b0": {"FileDescription": "...", ...}}
    info.translations         # [(0x0804, 1200)]
    info.manifests            # {(id, language): bytes} of resource type 24
"""

import sys

try:
    import pefile
except ImportError:  # python3-pefile lives in the system's dist-packages; another python3 may run us
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

RT_MANIFEST = 24
MACHINES = {0x14C: "x86", 0x8664: "x64"}


class PeInfo:
    def __init__(self, pe):
        self.machine = MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
        self.fixed_version = None
        self.fixed_product = None
        self.strings = {}
        self.translations = []
        self.manifests = {}
        fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
        if fixed:
            f = fixed[0]
            self.fixed_version = (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF,
                                  f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF)
            self.fixed_product = (f.ProductVersionMS >> 16, f.ProductVersionMS & 0xFFFF,
                                  f.ProductVersionLS >> 16, f.ProductVersionLS & 0xFFFF)
        for group in getattr(pe, "FileInfo", None) or []:
            for entry in group:
                if entry.Key == b"StringFileInfo":
                    for table in entry.StringTable:
                        self.strings[table.LangID.decode("ascii").lower()] = {
                            k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
                elif entry.Key == b"VarFileInfo":
                    for var in entry.Var:
                        for value in var.entry.values():
                            # pefile gives "0x0804 0x04b0" per translation
                            parts = value.split()
                            for lang, page in zip(parts[0::2], parts[1::2]):
                                self.translations.append((int(lang, 16), int(page, 16)))
        resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for kind in resources.entries if resources else []:
            if kind.id != RT_MANIFEST:
                continue
            for ident in kind.directory.entries:
                for lang in ident.directory.entries:
                    d = lang.data.struct
                    self.manifests[(ident.id, lang.id)] = pe.get_data(d.OffsetToData, d.Size)


def read_bytes(data):
    pe = pefile.PE(data=data, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    return PeInfo(pe)


def read(path):
    with open(path, "rb") as f:
        return read_bytes(f.read())
