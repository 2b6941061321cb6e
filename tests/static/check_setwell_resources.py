#!/usr/bin/env python3
"""Checks Setwell's resources inside the built Setwell.exe of each Windows tree: the main dialog
and its four pages, the string table, the icons and the logo bitmaps. The expected values below
are written from the program's description, not from the .rc file."""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))

import checkresults  # noqa: E402
import peres  # noqa: E402

LANG_ZH_CN = 0x0804
RT_BITMAP = 2

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_DLGFRAME, WS_VSCROLL = 0x00C00000, 0x00800000, 0x00400000, 0x00200000
WS_SYSMENU, WS_GROUP, WS_TABSTOP = 0x00080000, 0x00020000, 0x00010000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
WS_EX_APPWINDOW = 0x00040000
SS_LEFT = 0
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX, BS_AUTORADIOBUTTON, BS_ICON = 0, 1, 7, 9, 0x40
ES_READONLY = 0x800
CBS_DROPDOWNLIST, CBS_SORT = 3, 0x100
TBS_AUTOTICKS, TBS_VERT, TBS_TOP = 1, 2, 4
UDS_SETBUDDYINT, UDS_AUTOBUDDY, UDS_ARROWKEYS = 2, 0x10, 0x20
NO_ID = 0xFFFF


def static(text, cid, x, y, cx, cy):
    return dict(id=cid, cls="Static", text=text, rect=(x, y, cx, cy), bits=0)


def button(text, cid, x, y, cx, cy, kind=BS_PUSHBUTTON, bits=0):
    return dict(id=cid, cls="Button", text=text, rect=(x, y, cx, cy), type=(0xF, kind), bits=bits)


def group(x, y, cx, cy):
    return button("", NO_ID, x, y, cx, cy, BS_GROUPBOX)


def radio(text, cid, x, y, bits=0):
    return dict(id=cid, cls="Button", text=text, rect=(x, y, 65, 9), type=(0xF, BS_AUTORADIOBUTTON), bits=bits,
                not_bits=0 if bits else WS_TABSTOP)


def slider(cid, x, y, cx, cy, bits=0):
    return dict(id=cid, cls="msctls_trackbar32", text="", rect=(x, y, cx, cy),
                bits=TBS_AUTOTICKS | TBS_TOP | WS_TABSTOP | bits, not_bits=TBS_VERT)


PAGE = dict(style=WS_CHILD, not_style=WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_POPUP)

DIALOGS = {
    102: dict(caption="Qelvo设置程序", size=(218, 237), style=WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
              exstyle=WS_EX_APPWINDOW, controls=[
        dict(id=1000, cls="SysTabControl32", text="", rect=(5, 5, 206, 205), bits=0),
        button("确定", 1, 42, 217, 50, 14, BS_DEFPUSHBUTTON),
        button("取消", 2, 102, 217, 50, 14),
        button("应用(&A)", 1001, 160, 217, 50, 14),
    ]),
    129: dict(PAGE, caption="", size=(205, 185), controls=[
        button("", 1003, 36, 123, 50, 42, BS_PUSHBUTTON, BS_ICON | WS_TABSTOP),
        button("", 1010, 118, 123, 50, 42, BS_PUSHBUTTON, BS_ICON | WS_TABSTOP),
        group(6, 7, 192, 171),
        static("触摸屏校准，将触摸屏坐标映射到系统坐标。", NO_ID, 19, 22, 164, 11),
        static("如有下情况，请进行校准：", NO_ID, 19, 41, 158, 11),
        static("* 首次安装触摸屏及驱动程序。", NO_ID, 19, 58, 144, 12),
        static("* 更改显示器分辨率，或者显示器图像的范    围、位置", NO_ID, 19, 73, 158, 18),
        static("* 更改触摸屏硬件，或者更   换显示器", NO_ID, 19, 94, 98, 21),
    ]),
    # The last four texts are the maker's own: checked for being there, not for their words.
    131: dict(PAGE, caption="", size=(205, 185), controls=[
        static("Qelvo 触摸屏设置程序 ", NO_ID, 68, 96, 69, 9),
        static("Ver.3.00U for Windows 2000/XP", NO_ID, 44, 107, 117, 9),
        static("仅支持USB接口", NO_ID, 78, 118, 49, 9),
        static(None, NO_ID, 61, 129, 83, 9),
        static(None, NO_ID, 64, 140, 77, 9),
        static(None, NO_ID, 62, 151, 81, 9),
        dict(static(None, NO_ID, 52, 162, 101, 9), parenthesised=True),
    ]),
    132: dict(PAGE, caption="", size=(204, 185), controls=[
        group(5, 3, 192, 103),
        group(5, 109, 192, 72),
        radio("触摸点击模式", 1064, 19, 15, WS_GROUP | WS_TABSTOP),
        radio("释放点击模式", 1065, 109, 15),
        radio("拖动模式", 1066, 19, 32),
        radio("双击,拖动模式", 1067, 109, 32),
        slider(1013, 35, 146, 133, 29, WS_GROUP),
        static("拖动延时", NO_ID, 85, 127, 33, 8),
        static("短", NO_ID, 16, 156, 8, 8),
        static("长", NO_ID, 179, 156, 8, 8),
        static("说明：", 1007, 19, 62, 159, 33),
        static("双击范围", NO_ID, 105, 48, 35, 9),
        dict(id=1006, cls="Edit", text="", rect=(143, 46, 20, 12), bits=ES_READONLY | WS_BORDER | WS_TABSTOP),
        dict(id=1009, cls="msctls_updown32", text="", rect=(163, 46, 11, 12),
             bits=UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ARROWKEYS),
        static("说明：", 1008, 19, 62, 159, 33),
        static("说明：", 1010, 19, 62, 159, 33),
        static("说明：", 1011, 19, 62, 159, 33),
    ]),
    133: dict(PAGE, caption="", size=(205, 185), controls=[
        group(3, 7, 198, 32),
        dict(id=1012, cls="ComboBox", text="", rect=(69, 17, 82, 70), type=(3, CBS_DROPDOWNLIST),
             bits=WS_VSCROLL | WS_TABSTOP, not_bits=CBS_SORT),
        group(3, 41, 198, 137),
        slider(1077, 33, 67, 138, 27),
        slider(1078, 33, 125, 138, 27),
        static("声音频率", NO_ID, 86, 52, 33, 8),
        static("高", NO_ID, 180, 77, 9, 8),
        static("低", NO_ID, 15, 77, 9, 8),
        static("持续时间", NO_ID, 86, 109, 33, 8),
        static("长", NO_ID, 180, 135, 9, 8),
        static("短", NO_ID, 15, 135, 9, 8),
        static("声音模式", NO_ID, 21, 19, 33, 7),
    ]),
}

STRINGS = {
    1: "读取触摸屏参数出错！",
    2: "另外一个触摸屏设置程序正在运行！",
    3: "权限不够，请以管理员登陆！",
    4: "不能加载驱动程序，请重新安装！",
    5: "更新驱动设置出错！",
    6: "找不到校准程序！请重新安装！",
    7: "不能调用校准程序！",
    9: "文件存放的路径太深！",
    10: "禁用",
    11: "触摸时发声",
    12: "释放时发声",
    13: "校准",
    14: "设置",
    15: "声音",
    16: "关于",
    17: "初始化设备管理失败！",
}

# Icon groups: (width, bits per pixel) of every image.
ICONS = {
    142: sorted((n, None) for n in (48, 32, 16)),
    136: sorted((n, bpp) for n in (48, 32, 16) for bpp in (8, 24, 32)),
    144: sorted((n, 4) for n in (32, 16)),
}


def check_dialog(c, res, did, want):
    # The English twin is checked against this one by check_languages.py.
    found = [f for f in res.find(peres.RT_DIALOG, did) if f[0] != peres.LANG_EN_US]
    if not c.expect(len(found) == 1, "dialog %d: %d copies besides the English one" % (did, len(found))):
        return
    lang, data = found[0]
    c.expect(lang == LANG_ZH_CN, "dialog %d: language 0x%04x" % (did, lang))
    d = peres.parse_dialog(data)
    c.expect(d["caption"] == want["caption"], "dialog %d: caption %r" % (did, d["caption"]))
    c.expect((d["cx"], d["cy"]) == want["size"], "dialog %d: size %r" % (did, (d["cx"], d["cy"])))
    c.expect(d["style"] & DS_SETFONT and d["typeface"] == "宋体" and d["pointsize"] == 10,
             "dialog %d: font %r %r" % (did, d["typeface"], d["pointsize"]))
    c.expect(d["style"] & want["style"] == want["style"], "dialog %d: style 0x%08x" % (did, d["style"]))
    c.expect(d["style"] & want.get("not_style", 0) == 0, "dialog %d: style 0x%08x has a frame" % (did, d["style"]))
    if "exstyle" in want:
        c.expect(d["exstyle"] & want["exstyle"] == want["exstyle"], "dialog %d: exstyle 0x%08x" % (did, d["exstyle"]))
    got = d["controls"]
    c.expect(len(got) == len(want["controls"]),
             "dialog %d: %d controls, expected %d" % (did, len(got), len(want["controls"])))
    for i, (g, w) in enumerate(zip(got, want["controls"])):
        where = "dialog %d control #%d (id %d)" % (did, i, w["id"])
        c.expect(g["id"] == w["id"], "%s: id %d" % (where, g["id"]))
        cls = g["class"] if isinstance(g["class"], str) else "#%d" % g["class"]
        c.expect(cls.lower() == w["cls"].lower(), "%s: class %r" % (where, cls))
        if w["text"] is None:
            c.expect(isinstance(g["text"], str) and g["text"].strip() != "", "%s: no text" % where)
            if w.get("parenthesised"):
                c.expect(isinstance(g["text"], str) and g["text"].startswith("(") and g["text"].endswith(")")
                         and ".example" in g["text"], "%s: web address %r" % (where, g["text"]))
        else:
            c.expect(g["text"] == w["text"], "%s: text %r, expected %r" % (where, g["text"], w["text"]))
        c.expect((g["x"], g["y"], g["cx"], g["cy"]) == w["rect"],
                 "%s: rectangle %r" % (where, (g["x"], g["y"], g["cx"], g["cy"])))
        style = g["style"]
        c.expect(style & (WS_CHILD | WS_VISIBLE) == WS_CHILD | WS_VISIBLE,
                 "%s: not a visible child (0x%08x)" % (where, style))
        if "type" in w:
            mask, value = w["type"]
            c.expect(style & mask == value, "%s: kind 0x%x, expected 0x%x" % (where, style & mask, value))
        c.expect(style & w["bits"] == w["bits"], "%s: style 0x%08x lacks 0x%08x" % (where, style, w["bits"]))
        c.expect(style & w.get("not_bits", 0) == 0, "%s: style 0x%08x has 0x%08x" % (where, style, w.get("not_bits", 0)))


def check_strings(c, res):
    table = peres.string_table(res, LANG_ZH_CN)
    for sid, text in STRINGS.items():
        c.expect(table.get(sid) == text, "string %d is %r, expected %r" % (sid, table.get(sid), text))
    c.expect(8 not in table, "string 8 should not exist")
    other = peres.string_table(res)
    c.expect(all(sid in table for sid in other if sid <= 17), "strings 1-17 outside language 0x0804")


def dib_header(data):
    """width, height (of the colour image), bits per pixel, compression of a BITMAPINFOHEADER."""
    size, w, h, _, bpp, comp = struct.unpack_from("<IiiHHI", data, 0)
    if size < 40:
        raise peres.PEError("BITMAPINFOHEADER of %d bytes" % size)
    return w, h, bpp, comp


def check_icons(c, res):
    for rid, want in ICONS.items():
        found = res.find(peres.RT_GROUP_ICON, rid)
        if not c.expect(len(found) == 1, "icon %d: %d copies" % (rid, len(found))):
            continue
        kind, entries = peres.parse_group(found[0][1])
        c.expect(kind == 1, "icon %d: directory type %d" % (rid, kind))
        got = []
        for e in entries:
            data = res.get(peres.RT_ICON, e["id"])
            if not c.expect(data is not None, "icon %d: image %d missing" % (rid, e["id"])):
                continue
            w, h, bpp, comp = dib_header(data)
            c.expect((w, h) == (e["width"], 2 * e["height"]) and e["width"] == e["height"] and comp == 0,
                     "icon %d: image %dx%d (compression %d) under a %dx%d entry"
                     % (rid, w, h // 2, comp, e["width"], e["height"]))
            c.expect(e["bits"] == bpp, "icon %d: entry says %d bpp, image has %d" % (rid, e["bits"], bpp))
            got.append((w, bpp))
        if all(b is None for _, b in want):
            got = [(w, None) for w, _ in got]
        c.expect(sorted(got) == want, "icon %d: images (size, bpp) %r, expected %r" % (rid, sorted(got), want))


def bitmap_pixels(data):
    """(width, height, bpp, rows of (r, g, b)) of a 24-bit BI_RGB bitmap resource."""
    w, h, bpp, comp = dib_header(data)
    if bpp != 24 or comp != 0:
        return w, h, bpp, None
    size = struct.unpack_from("<I", data, 0)[0]
    stride = ((w * 24 + 31) // 32) * 4
    rows = []
    for y in range(abs(h)):
        src = abs(h) - 1 - y if h > 0 else y
        off = size + src * stride
        rows.append([(data[off + 3 * x + 2], data[off + 3 * x + 1], data[off + 3 * x]) for x in range(w)])
    return w, abs(h), bpp, rows


def check_bitmaps(c, res):
    pictures = {}
    for rid in (140, 143):
        found = res.find(RT_BITMAP, rid)
        if not c.expect(len(found) == 1, "bitmap %d: %d copies" % (rid, len(found))):
            continue
        w, h, bpp, rows = bitmap_pixels(found[0][1])
        c.expect((w, h, bpp) == (102, 32, 24), "bitmap %d: %dx%d, %d bpp" % (rid, w, h, bpp))
        pictures[rid] = rows
    mask = pictures.get(143)
    if mask:
        colours = {p for row in mask for p in row}
        c.expect(colours == {(0, 0, 0), (255, 255, 255)}, "mask 143: colours %r, not black and white" % colours)
        white = sum(row.count((255, 255, 255)) for row in mask)
        c.expect(102 * 32 // 10 < white < 102 * 32 // 2, "mask 143: %d white pixels" % white)
        logo = pictures.get(140)
        if logo:
            drawn = {logo[y][x] for y in range(32) for x in range(102) if mask[y][x] == (255, 255, 255)}
            c.expect(drawn != {(0, 0, 0)} and drawn != {(255, 255, 255)},
                     "logo 140 shows nothing where its mask is white")


def locate(tree):
    for root, dirs, files in os.walk(tree):
        dirs[:] = [d for d in dirs if not d.startswith(".") and d not in ("drive_c", "dosdevices", "googletest")]
        if "Setwell.exe" in files:
            return os.path.join(root, "Setwell.exe")
    return None


def check_tree(results, label, tree, machine, pe32plus):
    label = "Setwell." + label
    path = locate(tree) if os.path.isdir(tree) else None
    res = peres.open_located(results, label, path, "no Setwell.exe under %s" % tree, machine, pe32plus)
    if res is None:
        return
    for did, want in DIALOGS.items():
        with results.case("%s.Dialog%d" % (label, did)) as c:
            check_dialog(c, res, did, want)
    with results.case("%s.StringTable" % label) as c:
        check_strings(c, res)
    with results.case("%s.Icons" % label) as c:
        check_icons(c, res)
    with results.case("%s.LogoBitmaps" % label) as c:
        check_bitmaps(c, res)


def run(args, results):
    check_tree(results, "win32", args.win32, 0x14C, False)
    check_tree(results, "win64", args.win64, 0x8664, True)


if __name__ == "__main__":
    sys.exit(checkresults.static_main(__file__, run))
