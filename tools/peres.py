"""Reads the resources of a Windows PE file (PE32 or PE32+; the resource directory through pefile)
and decodes the kinds Qelvo uses: dialog templates (DLGTEMPLATE and DLGTEMPLATEEX), string tables,
icon and cursor groups with their images, and uncompressed AVI clips."""

import os
import re
import struct

import peimage

RT_CURSOR, RT_BITMAP, RT_ICON, RT_MENU, RT_DIALOG, RT_STRING = 1, 2, 3, 4, 5, 6
RT_GROUP_CURSOR, RT_GROUP_ICON = 12, 14

# Predefined control classes of dialog templates, by ordinal.
CONTROL_CLASSES = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox",
                   0x84: "ScrollBar", 0x85: "ComboBox"}


PEError = peimage.PeError


class PEResources:
    """The resources of one image: {(type, name, language): bytes}, types and names as ids or
    strings."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        pe = peimage.load(data, (peimage.DIRECTORY_RESOURCE,))
        self.machine = pe.FILE_HEADER.Machine
        self.pe32plus = pe.OPTIONAL_HEADER.Magic == peimage.MAGIC_PE32_PLUS
        self.resources = {}
        root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for rtype in root.entries if root else []:
            for name in _children(rtype):
                for lang in _children(name):
                    if hasattr(lang, "directory"):
                        raise PEError("resource tree deeper than three levels")
                    entry = lang.data.struct
                    key = (_key(rtype), _key(name), lang.id)
                    self.resources[key] = peimage.data_at(pe, entry.OffsetToData, entry.Size)

    def find(self, rtype, name):
        """All (language, bytes) of one resource."""
        return [(k[2], v) for k, v in self.resources.items() if k[0] == rtype and k[1] == name]

    def get(self, rtype, name):
        found = self.find(rtype, name)
        return found[0][1] if found else None

    def languages(self):
        return sorted({k[2] for k in self.resources})


def _key(entry):
    # pefile hands a resource name over as UTF-8.
    return entry.name.decode("utf-8") if entry.name is not None else entry.id


def _children(entry):
    if not hasattr(entry, "directory"):
        raise PEError("resource data above the language level")
    return entry.directory.entries


_SZ = re.compile(b"(?:..)*?\0\0", re.S)  # a zero-terminated UTF-16 string


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def fields(self, target, fmt, names):
        """Reads the values of `fmt` into target under the given names; returns target."""
        target.update(zip(names.split(), self.take(fmt)))
        return target

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def sz(self):
        m = _SZ.match(self.data, self.pos)
        if not m:
            raise PEError("unterminated string")
        self.pos = m.end()
        return m.group(0)[:-2].decode("utf-16-le")

    def sz_or_ord(self):
        """Empty (0), an ordinal (0xFFFF, value) or a string."""
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0:
            self.pos += 2
            return ""
        if first == 0xFFFF:
            self.pos += 4
            return struct.unpack_from("<H", self.data, self.pos - 2)[0]
        return self.sz()


def parse_dialog(data):
    r = Reader(data)
    extended = struct.unpack_from("<HH", data, 0) == (1, 0xFFFF)
    dlg = {"extended": extended, "helpid": 0, "pointsize": None, "typeface": None}
    if extended:
        r.pos = 4
        r.fields(dlg, "III", "helpid exstyle style")
    else:
        r.fields(dlg, "II", "style exstyle")
    count = r.take("H")
    r.fields(dlg, "hhhh", "x y cx cy")
    dlg["menu"], dlg["class"], dlg["caption"] = r.sz_or_ord(), r.sz_or_ord(), r.sz()
    if dlg["style"] & 0x48:                        # DS_SETFONT or DS_SHELLFONT
        dlg["pointsize"] = r.take("H")
        if extended:
            r.fields(dlg, "HBB", "weight italic charset")
        dlg["typeface"] = r.sz()
    dlg["controls"] = []
    for _ in range(count):
        r.align(4)
        if extended:
            c = r.fields({}, "IIIhhhhI", "helpid exstyle style x y cx cy id")
        else:
            c = r.fields({}, "IIhhhhH", "style exstyle x y cx cy id")
        # -1 is stored as 0xFFFF or 0xFFFFFFFF; both mean "no id".
        if c["id"] in (0xFFFF, 0xFFFFFFFF):
            c["id"] = 0xFFFF
        cls = r.sz_or_ord()
        c["class"] = CONTROL_CLASSES.get(cls, cls) if isinstance(cls, int) else cls
        c["text"] = r.sz_or_ord()
        extra = r.take("H")
        c["extra"] = data[r.pos:r.pos + extra]
        r.pos += extra
        dlg["controls"].append(c)
    return dlg


def string_table(res, language=None):
    """{id: text} from every RT_STRING block (of one language, if given), decoded by pefile."""
    out = {}
    for (rtype, block, lang), data in res.resources.items():
        if rtype == RT_STRING and language in (None, lang):
            peimage.pefile.parse_strings(data, (block - 1) * 16, out)
    return out


def parse_group(data):
    """GRPICONDIR / cursor directory: type (1 icon, 2 cursor) and the entries."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    entries = []
    for i in range(count):
        off = 6 + 14 * i
        if kind == 1:
            w, h, colours, _, planes, bits, size, rid = struct.unpack_from("<BBBBHHIH", data, off)
            entries.append({"width": w or 256, "height": h or 256, "colours": colours,
                            "planes": planes, "bits": bits, "size": size, "id": rid})
        else:
            w, h, planes, bits, size, rid = struct.unpack_from("<HHHHIH", data, off)
            entries.append({"width": w, "height": h // 2, "planes": planes, "bits": bits,
                            "size": size, "id": rid})
    return kind, entries


def parse_dib(data, offset=0, has_mask=False, bits_data=None):
    """A BITMAPINFOHEADER DIB (uncompressed, 1/4/8 bpp) as top-down rows of palette indices.
    For icon and cursor images (height doubled, AND mask after the colour bits) also the mask.
    bits_data: the pixel bits when they are stored apart from the header (AVI frames)."""
    size, w, h, planes, bpp, comp, image_size, _, _, used, _ = \
        struct.unpack_from("<IiiHHIIiiII", data, offset)
    if size < 40:
        raise PEError("BITMAPINFOHEADER of %d bytes" % size)
    if comp != 0:
        raise PEError("compressed DIB (%d)" % comp)
    if bpp not in (1, 4, 8):
        raise PEError("%d bits per pixel not handled" % bpp)
    height = abs(h) // 2 if has_mask else abs(h)
    colours = used or (1 << bpp)
    pal_off = offset + size
    palette = [(data[pal_off + 4 * i + 2], data[pal_off + 4 * i + 1], data[pal_off + 4 * i])
               for i in range(colours)]
    if bits_data is None:
        bits_data, bits = data, pal_off + 4 * colours
    else:
        bits = 0

    def rows(start, depth):
        stride = ((w * depth + 31) // 32) * 4
        out = []
        for y in range(height):
            src = y if h < 0 and not has_mask else height - 1 - y
            row = bits_data[start + src * stride:start + (src + 1) * stride]
            if len(row) < stride:
                raise PEError("DIB bits cut short")
            out.append([(row[x * depth // 8] >> (8 - depth - x * depth % 8)) & ((1 << depth) - 1) for x in range(w)])
        return out, stride * height

    pixels, used_bytes = rows(bits, bpp)
    dib = {"width": w, "height": height, "bpp": bpp, "compression": comp,
           "palette": palette, "pixels": pixels, "image_size": image_size}
    if has_mask:
        dib["mask"], _ = rows(bits + used_bytes, 1)
    return dib


def icon_image(res, rid):
    data = res.get(RT_ICON, rid)
    return None if data is None else parse_dib(data, 0, has_mask=True)


def cursor_image(res, rid):
    data = res.get(RT_CURSOR, rid)
    if data is None:
        return None
    hx, hy = struct.unpack_from("<HH", data, 0)
    dib = parse_dib(data, 4, has_mask=True)
    dib["hotspot"] = (hx, hy)
    return dib


def riff_chunks(data, start, end):
    """(fourcc, list type or None, data offset, size) of the chunks in [start, end)."""
    pos = start
    while pos + 8 <= end:
        cid = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        if pos + 8 + size > end:
            raise PEError("chunk %r runs past its parent" % cid)
        if cid in (b"RIFF", b"LIST"):
            yield cid, data[pos + 8:pos + 12], pos + 12, size - 4
        else:
            yield cid, None, pos + 8, size
        pos += 8 + size + (size & 1)


def parse_avi(data):
    if data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        raise PEError("not a RIFF AVI")
    riff_size = struct.unpack_from("<I", data, 4)[0]
    if riff_size + 8 > len(data):
        raise PEError("RIFF size %d beyond the data" % riff_size)
    avi = {"frames": [], "index": [], "movi_offset": None}
    for cid, ltype, off, size in riff_chunks(data, 12, 8 + riff_size):
        if ltype == b"hdrl":
            for hid, htype, hoff, hsize in riff_chunks(data, off, off + size):
                if hid == b"avih":
                    f = struct.unpack_from("<10I", data, hoff)
                    avi["avih"] = dict(zip(("usPerFrame", "maxBytesPerSec", "padding", "flags",
                                            "totalFrames", "initialFrames", "streams",
                                            "bufferSize", "width", "height"), f))
                elif htype == b"strl":
                    for sid, _, soff, ssize in riff_chunks(data, hoff, hoff + hsize):
                        if sid == b"strh":
                            t, handler = data[soff:soff + 4], data[soff + 4:soff + 8]
                            scale, rate, start, length = struct.unpack_from("<IIII", data, soff + 20)
                            avi["strh"] = {"type": t, "handler": handler, "scale": scale,
                                           "rate": rate, "length": length}
                        elif sid == b"strf":
                            avi["strf"] = data[soff:soff + ssize]
        elif ltype == b"movi":
            avi["movi_offset"] = off - 4
            for mid, mtype, moff, msize in riff_chunks(data, off, off + size):
                if mtype == b"rec ":
                    raise PEError("'rec ' lists not handled")
                if mid[2:] in (b"db", b"dc"):
                    avi["frames"].append((mid, moff, msize))
        elif cid == b"idx1":
            for i in range(size // 16):
                avi["index"].append(struct.unpack_from("<4sIII", data, off + 16 * i))
    return avi


def avi_frame_pixels(data, avi, n):
    """Frame n decoded with the stream format's palette: top-down rows of indices."""
    _, moff, msize = avi["frames"][n]
    return parse_dib(avi["strf"], 0, bits_data=data[moff:moff + msize])


def open_located(results, label, path, missing, machine, pe32plus, note=""):
    """Case <label>.Located: `path` (None when not found; `missing` says what) exists and is built
    for `machine` (PE32+ or not). The image's resources, or None."""
    res = None
    with results.case("%s.Located" % label) as c:
        c.expect(path is not None, missing)
        if path:
            print("%s: checking %s%s" % (label, os.path.relpath(path), note))
            res = PEResources(path)
            c.expect(res.machine == machine and res.pe32plus == pe32plus,
                     "machine 0x%x, PE32+ %s" % (res.machine, res.pe32plus))
    return res


LANG_ZH_CN, LANG_EN_US = 0x0804, 0x0409


def dialogs_by_language(res):
    """{dialog id: {language: parsed template}} of every RT_DIALOG."""
    out = {}
    for (rtype, name, lang), data in res.resources.items():
        if rtype == RT_DIALOG:
            out.setdefault(name, {})[lang] = parse_dialog(data)
    return out


def conversions(text):
    """The printf conversions of a text in order ("%.1f", "%+d"), "%%" left out."""
    return [m.group(0) for m in re.finditer(r"%[-+ #0-9.hlL]*([^-+ #0-9.hlL])", text) if m.group(1) != "%"]
