"""Unit tests of tools/peres.py on PE files built here byte by byte (run by tests/static/check_resources.py)."""

import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools"))
import peres  # noqa: E402

SECTION_RVA = 0x1000


def resource_section(entries):
    """entries: {(type, name, lang): bytes}, types and names as ids or strings. Lays out a
    three-level directory, named entries first as Windows does."""
    tree = {}
    for (t, n, l), data in entries.items():
        tree.setdefault(t, {}).setdefault(n, {})[l] = data

    def order(keys):
        return sorted(keys, key=lambda k: (0, k) if isinstance(k, str) else (1, k))

    def dir_size(count):
        return 16 + 8 * count

    # Directories first, then data entries, then the names, then the data itself.
    layout = {}
    offset = dir_size(len(tree))
    for t in order(tree):
        layout[t] = offset
        offset += dir_size(len(tree[t]))
    for t in order(tree):
        for n in order(tree[t]):
            layout[(t, n)] = offset
            offset += dir_size(len(tree[t][n]))
    data_entries = {}
    for t in order(tree):
        for n in order(tree[t]):
            for l in sorted(tree[t][n]):
                data_entries[(t, n, l)] = offset
                offset += 16
    names = {}
    for name in {k for k in list(tree) + [n for t in tree for n in tree[t]] if isinstance(k, str)}:
        names[name] = offset
        offset += 2 + 2 * len(name)
    blobs = {}
    for key, off in data_entries.items():
        offset = (offset + 3) & ~3
        blobs[key] = offset
        offset += len(entries[key])
    out = bytearray(offset)
    for name, at in names.items():
        struct.pack_into("<H", out, at, len(name))
        out[at + 2:at + 2 + 2 * len(name)] = name.encode("utf-16-le")

    def put_dir(at, children):
        named = sum(1 for name, _, _ in children if isinstance(name, str))
        struct.pack_into("<IIHHHH", out, at, 0, 0, 0, 0, named, len(children) - named)
        for i, (name, target, is_dir) in enumerate(children):
            field = 0x80000000 | names[name] if isinstance(name, str) else name
            struct.pack_into("<II", out, at + 16 + 8 * i, field, target | (0x80000000 if is_dir else 0))

    put_dir(0, [(t, layout[t], True) for t in order(tree)])
    for t in order(tree):
        put_dir(layout[t], [(n, layout[(t, n)], True) for n in order(tree[t])])
        for n in order(tree[t]):
            put_dir(layout[(t, n)], [(l, data_entries[(t, n, l)], False) for l in sorted(tree[t][n])])
    for key, at in data_entries.items():
        struct.pack_into("<IIII", out, at, SECTION_RVA + blobs[key], len(entries[key]), 0, 0)
        out[blobs[key]:blobs[key] + len(entries[key])] = entries[key]
    return bytes(out)


def build_pe(path, entries, pe32plus):
    rsrc = resource_section(entries)
    raw = (len(rsrc) + 0x1FF) & ~0x1FF
    opt_size = 240 if pe32plus else 224
    pe_off = 0x80
    headers = 0x200
    out = bytearray(headers + raw)
    out[0:2] = b"MZ"
    struct.pack_into("<I", out, 0x3C, pe_off)
    out[pe_off:pe_off + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", out, pe_off + 4, 0x8664 if pe32plus else 0x14C, 1, 0, 0, 0, opt_size, 0x2102)
    opt = pe_off + 24
    struct.pack_into("<H", out, opt, 0x20B if pe32plus else 0x10B)
    dirs = opt + (112 if pe32plus else 96)
    struct.pack_into("<I", out, dirs - 4, 16)                       # NumberOfRvaAndSizes
    struct.pack_into("<II", out, dirs + 16, SECTION_RVA, len(rsrc))
    sec = opt + opt_size
    struct.pack_into("<8sIIII", out, sec, b".rsrc", len(rsrc), SECTION_RVA, raw, headers)
    out[headers:headers + len(rsrc)] = rsrc
    with open(path, "wb") as f:
        f.write(out)


def u16z(s):
    return s.encode("utf-16-le") + b"\0\0"


def classic_dialog():
    """DLGTEMPLATE with DS_SETFONT, a caption and two controls: one by class ordinal, one by name."""
    d = struct.pack("<IIHhhhh", 0x80C800C0, 0, 2, 0, 0, 100, 50) + b"\0\0" + b"\0\0" + u16z("标题")
    d += struct.pack("<H", 9) + u16z("Tahoma")
    d += b"\0" * (-len(d) % 4)
    d += struct.pack("<IIhhhhH", 0x50010001, 0, 5, 6, 40, 14, 0xFFFF) + b"\xff\xff\x80\x00" + u16z("OK") + b"\0\0"
    d += b"\0" * (-len(d) % 4)
    d += struct.pack("<IIhhhhH", 0x50000002, 0x20, 1, 2, 3, 4, 77) + u16z("SysAnimate32") + b"\xff\xff\x81\x00"
    d += struct.pack("<H", 2) + b"ab"
    return d


def string_block(strings):
    out = b""
    for i in range(16):
        s = strings.get(i, "")
        out += struct.pack("<H", len(s)) + s.encode("utf-16-le")
    return out


class PeReaderTest(unittest.TestCase):
    def build(self, pe32plus):
        entries = {
            (5, 7, 0x804): classic_dialog(),
            (5, 7, 0x409): classic_dialog(),
            (6, 2, 0x804): string_block({0: "十六", 15: "a\nb"}),
            (6, 1, 0x409): string_block({3: "three"}),
            ("AVI", 129, 0x804): b"RIFF clip",
            ("图像", "目标", 0x409): b"named twice",
        }
        fd, path = tempfile.mkstemp(suffix=".dll")
        os.close(fd)
        self.addCleanup(os.remove, path)
        build_pe(path, entries, pe32plus)
        return peres.PEResources(path)

    def test_reads_both_pe_kinds_and_dlgtemplate(self):
        for pe32plus in (False, True):
            res = self.build(pe32plus)
            self.assertEqual(res.pe32plus, pe32plus)
            self.assertEqual(res.machine, 0x8664 if pe32plus else 0x14C)
            d = peres.parse_dialog(res.get(peres.RT_DIALOG, 7))
            self.assertFalse(d["extended"])
            self.assertEqual((d["caption"], d["typeface"], d["pointsize"]), ("标题", "Tahoma", 9))
            self.assertEqual((d["cx"], d["cy"], d["style"]), (100, 50, 0x80C800C0))
            first, second = d["controls"]
            self.assertEqual((first["id"], first["class"], first["text"]), (0xFFFF, "Button", "OK"))
            self.assertEqual((first["x"], first["y"], first["cx"], first["cy"]), (5, 6, 40, 14))
            self.assertEqual((second["id"], second["class"], second["text"]), (77, "SysAnimate32", 0x81))
            self.assertEqual((second["exstyle"], second["extra"]), (0x20, b"ab"))

    def test_string_ids_follow_blocks_and_languages(self):
        res = self.build(True)
        self.assertEqual(peres.string_table(res, 0x804), {16: "十六", 31: "a\nb"})
        self.assertEqual(peres.string_table(res), {16: "十六", 31: "a\nb", 3: "three"})

    def test_dialogs_by_language(self):
        templates = peres.dialogs_by_language(self.build(True))
        self.assertEqual(sorted(templates), [7])
        self.assertEqual(sorted(templates[7]), [0x409, 0x804])
        self.assertEqual(templates[7][0x409]["caption"], "标题")

    def test_format_specs(self):
        cases = {
            "": [],
            "100%% sure": [],
            "误差 %.1f 像素 (%+d, %+d)": ["%.1f", "%+d", "%+d"],
            "%d/9 %ls %-5s%08x": ["%d", "%ls", "%-5s", "%08x"],
            "at the end %": [],
        }
        for text, expected in cases.items():
            self.assertEqual(peres.conversions(text), expected, text)

    def test_named_types_and_names(self):
        res = self.build(False)
        self.assertEqual(res.find("AVI", 129), [(0x804, b"RIFF clip")])
        self.assertEqual(res.get("图像", "目标"), b"named twice")
        self.assertIsNone(res.get("AVI", 130))
        self.assertEqual(res.languages(), [0x409, 0x804])

    def test_cut_avi_is_refused(self):
        chunk = b"LIST" + struct.pack("<I", 100) + b"hdrl"
        avi = b"RIFF" + struct.pack("<I", 4 + len(chunk)) + b"AVI " + chunk
        with self.assertRaises(peres.PEError):
            peres.parse_avi(avi)

    def test_not_a_pe(self):
        fd, path = tempfile.mkstemp()
        os.write(fd, b"MZ" + b"\0" * 0x3A + struct.pack("<I", 0x40) + b"NE\0\0" + b"\0" * 64)
        os.close(fd)
        self.addCleanup(os.remove, path)
        with self.assertRaises(peres.PEError):
            peres.PEResources(path)


if __name__ == "__main__":
    unittest.main()
