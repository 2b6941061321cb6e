"""Loading PE images (PE32 and PE32+) with Debian's python3-pefile, refusing damaged ones; the one
PE reader of the tools and checks.

pefile reads what it can and notes the rest as warnings; the checks built on it must not take a
table it could not read for an empty one, so load() turns such damage into PeError.

    info = version_info(data)  # what the release checks read: machine, version resource, manifests
    info.machine               # "x86" / "x64" / hex of anything else
    info.fixed_version         # (3, 0, 0, 0) file version of VS_FIXEDFILEINFO
    info.fixed_product         # product version of VS_FIXEDFILEINFO
    info.strings               # {"080404b0": {"FileDescription": "...", ...}}
    info.translations          # [(0x0804, 1200)]
    info.manifests             # {(id, language): bytes} of resource type 24
"""

import sys

try:
    import pefile
except ImportError:  # an interpreter of its own (e.g. pyenv) lacks the Debian package's folder
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

MACHINE_I386 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
MACHINE_AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
MAGIC_PE32 = pefile.OPTIONAL_HEADER_MAGIC_PE
MAGIC_PE32_PLUS = pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS

DIRECTORY_IMPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
DIRECTORY_RESOURCE = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]
DIRECTORY_DELAY_IMPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]

# The attribute pefile sets for a directory it has read, and the size of the directory's first
# record: pefile sets nothing for a table that holds only its terminating record.
_PARSED = {DIRECTORY_IMPORT: ("DIRECTORY_ENTRY_IMPORT", 20), DIRECTORY_RESOURCE: ("DIRECTORY_ENTRY_RESOURCE", 16),
           DIRECTORY_DELAY_IMPORT: ("DIRECTORY_ENTRY_DELAY_IMPORT", 32)}

# Warnings of pefile that mean a table was read only in part.
_DAMAGE = ("error parsing", "corrupt", "invalid", "too many", "can't be fetched", "larger than file",
           "no data in the file", "loop", "truncated")


class PeError(Exception):
    pass


def load(data, directories):
    """A pefile.PE of the image bytes with the given data directories read. Raises PeError when
    the headers are cut short or a present directory could not be read whole."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError as e:
        raise PeError(str(e).strip("'")) from None
    # pefile pads a short optional header and section table with zeros; Windows would not load it.
    headers_end = (pe.OPTIONAL_HEADER.get_file_offset() + pe.FILE_HEADER.SizeOfOptionalHeader
                   + 40 * pe.FILE_HEADER.NumberOfSections)
    if headers_end > len(data):
        raise PeError("truncated image: headers end at 0x%x, the file at 0x%x" % (headers_end, len(data)))
    if pe.OPTIONAL_HEADER.Magic not in (MAGIC_PE32, MAGIC_PE32_PLUS):
        raise PeError("unknown optional header magic 0x%x" % pe.OPTIONAL_HEADER.Magic)
    before = len(pe.get_warnings())
    try:
        pe.parse_data_directories(directories=list(directories))
    except pefile.PEFormatError as e:
        raise PeError(str(e).strip("'")) from None
    damage = [w for w in pe.get_warnings()[before:] if any(m in w.lower() for m in _DAMAGE)]
    for index in directories:
        attribute, record = _PARSED[index]
        if index >= len(pe.OPTIONAL_HEADER.DATA_DIRECTORY) or hasattr(pe, attribute):
            continue
        rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[index].VirtualAddress
        if rva != 0 and (index == DIRECTORY_RESOURCE or any(data_at(pe, rva, record))):
            damage.append("data directory %d present but unreadable" % index)
    if damage:
        raise PeError("; ".join(damage))
    return pe


def data_at(pe, rva, size):
    """Exactly `size` bytes of the image at `rva`, from its file data."""
    try:
        data = pe.get_data(rva, size)
    except pefile.PEFormatError as e:
        raise PeError(str(e).strip("'")) from None
    if len(data) != size:
        raise PeError("%d bytes at RVA 0x%x lie outside the file's data" % (size, rva))
    return data


RT_MANIFEST = 24
MACHINES = {MACHINE_I386: "x86", MACHINE_AMD64: "x64"}


def _version(ms, ls):
    return ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF


class VersionInfo:
    def __init__(self, pe):
        self.machine = MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine))
        self.fixed_version = self.fixed_product = None
        self.strings, self.translations, self.manifests = {}, [], {}
        fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
        if fixed:
            self.fixed_version = _version(fixed[0].FileVersionMS, fixed[0].FileVersionLS)
            self.fixed_product = _version(fixed[0].ProductVersionMS, fixed[0].ProductVersionLS)
        for entry in [e for group in getattr(pe, "FileInfo", None) or [] for e in group]:
            if entry.Key == b"StringFileInfo":
                for table in entry.StringTable:
                    self.strings[table.LangID.decode("ascii").lower()] = {
                        k.decode("utf-8"): v.decode("utf-8") for k, v in table.entries.items()}
            elif entry.Key == b"VarFileInfo":
                for value in [v for var in entry.Var for v in var.entry.values()]:
                    parts = value.split()  # "0x0804 0x04b0" per translation
                    self.translations += [(int(lang, 16), int(page, 16)) for lang, page in zip(parts[0::2], parts[1::2])]
        resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for kind in resources.entries if resources else []:
            if kind.id == RT_MANIFEST:
                for ident in kind.directory.entries:
                    for lang in ident.directory.entries:
                        d = lang.data.struct
                        self.manifests[(ident.id, lang.id)] = data_at(pe, d.OffsetToData, d.Size)


def version_info(data):
    """The VersionInfo of the image bytes; PeError when the image or its resources are damaged."""
    return VersionInfo(load(data, (DIRECTORY_RESOURCE,)))
