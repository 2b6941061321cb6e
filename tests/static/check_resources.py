#!/usr/bin/env python3
"""Checks Marksman's resources inside the built PE of each Windows tree: the dialog templates,
the string table, the target animation, the cursors and the icons. The expected values below are
written from the program's description, not from the .rc file. Marksman.exe is checked where it
has been built, MarksmanResources.dll (the same resources alone) otherwise."""

import math
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))

import checkresults  # noqa: E402
import peres  # noqa: E402

LANG_ZH_CN = 0x0804

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_VSCROLL = 0x00C00000, 0x00800000, 0x00200000
WS_SYSMENU, WS_TABSTOP = 0x00080000, 0x00010000
DS_SETFONT, DS_MODALFRAME = 0x40, 0x80
WS_EX_APPWINDOW = 0x00040000
SS_LEFT, SS_CENTER, SS_RIGHT, SS_ICON, SS_GRAYRECT, SS_NOTIFY = 0, 1, 2, 3, 5, 0x100
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX = 0, 1, 7
LBS_NOTIFY, LBS_SORT, LBS_NOINTEGRALHEIGHT = 1, 2, 0x100
ES_AUTOHSCROLL = 0x80
ACS_CENTER, ACS_TRANSPARENT = 1, 2
NO_ID = 0xFFFF


def static(text, cid, x, y, cx, cy, kind=SS_LEFT, extra=0):
    return dict(id=cid, cls="Static", text=text, rect=(x, y, cx, cy), type=(0x1F, kind), bits=extra)


def button(text, cid, x, y, cx, cy, kind=BS_PUSHBUTTON):
    return dict(id=cid, cls="Button", text=text, rect=(x, y, cx, cy), type=(0xF, kind), bits=0)


def edit(cid, x, y, cx, cy, bits=WS_BORDER):
    return dict(id=cid, cls="Edit", text="", rect=(x, y, cx, cy), bits=bits)


POPUP_DIALOG = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME

DIALOGS = {
    1079: dict(caption="选择设备", size=(224, 155), style=POPUP_DIALOG, controls=[
        button("OK", 1, 103, 134, 50, 14, BS_DEFPUSHBUTTON),
        button("Cancel", 2, 167, 134, 50, 14),
        dict(id=1080, cls="ListBox", text="", rect=(7, 23, 210, 48),
             bits=LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP),
        static("请从下列设备中选择要配置的设备：", NO_ID, 7, 7, 132, 8),
        button("设备信息", NO_ID, 7, 74, 210, 51, BS_GROUPBOX),
        static("制造商：", NO_ID, 37, 88, 32, 8),
        static("设备描述：", NO_ID, 32, 105, 37, 8),
        static("", 1081, 76, 88, 134, 8),
        static("", 1082, 76, 105, 134, 8),
    ]),
    102: dict(caption="", size=(320, 200), exact_style=WS_POPUP | WS_VISIBLE | DS_SETFONT,
              exact_exstyle=0x00047000, controls=[
        dict(static("", 1004, 69, 123, 129, 8, SS_CENTER), exact=WS_CHILD | WS_VISIBLE | SS_CENTER),
        dict(static("", 1003, 7, 87, 126, 8, SS_CENTER), exact=WS_CHILD | WS_VISIBLE | SS_CENTER),
        dict(id=1000, cls="SysAnimate32", text="", rect=(79, 27, 61, 51),
             exact=WS_CHILD | WS_VISIBLE | WS_TABSTOP | ACS_TRANSPARENT),
    ]),
    1091: dict(caption="选择显示屏幕", size=(350, 233), style=POPUP_DIALOG, exstyle=WS_EX_APPWINDOW,
               controls=[
        static("请选择要校准的显示屏幕：", NO_ID, 11, 13, 97, 8),
        static("", 1095, 7, 25, 336, 131, SS_GRAYRECT),
        static("显示器名称：", NO_ID, 12, 170, 48, 9, SS_RIGHT),
        static("", 1092, 64, 170, 279, 9),
        static("屏幕分辨率：", NO_ID, 12, 188, 48, 9, SS_RIGHT),
        static("", 1093, 64, 188, 127, 9),
        button("识别", 1094, 234, 188, 50, 14),
        button("自定义", 1120, 293, 188, 50, 14),
        button("确定", 1, 234, 212, 50, 14, BS_DEFPUSHBUTTON),
        button("取消", 2, 293, 212, 50, 14),
    ]),
    1100: dict(caption="选择校准范围", size=(238, 153), style=POPUP_DIALOG, exstyle=WS_EX_APPWINDOW,
               controls=[
        button("左上角坐标", NO_ID, 7, 7, 110, 120, BS_GROUPBOX),
        static("请拖动下面的图标或者直接输入", NO_ID, 16, 22, 61, 16),
        static(1102, 1105, 52, 43, 20, 20, SS_ICON, SS_NOTIFY),
        static("X轴坐标", NO_ID, 24, 78, 28, 8),
        edit(1107, 58, 76, 40, 14, WS_BORDER | ES_AUTOHSCROLL),
        static("Y轴坐标", NO_ID, 24, 98, 27, 8),
        edit(1109, 58, 99, 40, 14),
        button("右下角坐标", NO_ID, 121, 7, 110, 120, BS_GROUPBOX),
        static("请拖动下面的图标或者直接输入", NO_ID, 132, 22, 61, 16),
        static(1102, 1106, 165, 43, 20, 20, SS_ICON, SS_NOTIFY),
        static("X轴坐标", NO_ID, 138, 79, 28, 8),
        edit(1108, 171, 76, 40, 14),
        static("Y轴坐标", NO_ID, 138, 98, 27, 8),
        edit(1110, 171, 99, 40, 14),
        button("显示范围", 1111, 63, 132, 50, 14),
        button("确定", 1, 121, 132, 50, 14, BS_DEFPUSHBUTTON),
        button("取消", 2, 179, 132, 50, 14),
    ]),
}

STRINGS = {
    1: "权限不够，请以管理员登陆！",
    2: "不能加载驱动程序，请重新安装！",
    4: "设置校准参数失败：",
    5: "设置触摸模式失败：",
    6: "取触摸模式失败：",
    7: "一定时间不操作 或 按 <ESC> 键，将取消校准",
    8: "请用手指触摸屏幕左上角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
    9: "请用手指触摸屏幕右下角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
    10: "请用手指触摸屏幕右上角的目标靶\n手指离开屏幕以前可以移动以便准确触摸靶心",
    11: "重置校准数据状态失败:",
    12: "取校准数据状态失败:",
    14: "等待事件出错！",
    15: "正在移动目标靶，请稍候......",
    16: "双击屏幕 或 按<Enter> 键，将保存校准数据\n一定时间不操作 或 按 <ESC> 键，将重新校准",
    17: "请触摸屏幕，观察光标位置，检查校准结果。",
    18: "保存注册表校准参数失败：",
    19: "另外一个校准程序正在运行！",
    20: "初始化设备管理失败！",
    21: "初始化多显示器环境失败！",
    22: "选择的校准区域太小，请重新选择！",
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
    if "exact_style" in want:
        c.expect(d["style"] == want["exact_style"], "dialog %d: style 0x%08x" % (did, d["style"]))
    else:
        c.expect(d["style"] & want["style"] == want["style"], "dialog %d: style 0x%08x" % (did, d["style"]))
    if "exact_exstyle" in want:
        c.expect(d["exstyle"] == want["exact_exstyle"], "dialog %d: exstyle 0x%08x" % (did, d["exstyle"]))
    elif "exstyle" in want:
        c.expect(d["exstyle"] & want["exstyle"] == want["exstyle"],
                 "dialog %d: exstyle 0x%08x" % (did, d["exstyle"]))
    got = d["controls"]
    c.expect(len(got) == len(want["controls"]),
             "dialog %d: %d controls, expected %d" % (did, len(got), len(want["controls"])))
    for i, (g, w) in enumerate(zip(got, want["controls"])):
        where = "dialog %d control #%d (id %d)" % (did, i, w["id"])
        c.expect(g["id"] == w["id"], "%s: id %d" % (where, g["id"]))
        cls = g["class"] if isinstance(g["class"], str) else "#%d" % g["class"]
        c.expect(cls.lower() == w["cls"].lower(), "%s: class %r" % (where, cls))
        c.expect(g["text"] == w["text"], "%s: text %r" % (where, g["text"]))
        c.expect((g["x"], g["y"], g["cx"], g["cy"]) == w["rect"],
                 "%s: rectangle %r" % (where, (g["x"], g["y"], g["cx"], g["cy"])))
        style = g["style"]
        if "exact" in w:
            c.expect(style == w["exact"], "%s: style 0x%08x, expected 0x%08x" % (where, style, w["exact"]))
            continue
        c.expect(style & (WS_CHILD | WS_VISIBLE) == WS_CHILD | WS_VISIBLE,
                 "%s: not a visible child (0x%08x)" % (where, style))
        if "type" in w:
            mask, value = w["type"]
            c.expect(style & mask == value, "%s: kind 0x%x, expected 0x%x" % (where, style & mask, value))
        c.expect(style & w["bits"] == w["bits"], "%s: style 0x%08x lacks 0x%08x" % (where, style, w["bits"]))


def check_strings(c, res):
    table = peres.string_table(res, LANG_ZH_CN)
    for sid, text in STRINGS.items():
        c.expect(table.get(sid) == text, "string %d is %r, expected %r" % (sid, table.get(sid), text))
    for sid in (3, 13):
        c.expect(sid not in table, "string %d should not exist" % sid)
    other = peres.string_table(res)
    c.expect(all(sid in table for sid in other if sid <= 22), "strings 1-22 outside language 0x0804")


def is_blue(rgb):
    r, g, b = rgb
    return b >= 128 and r < 100 and g < 100


def is_red(rgb):
    r, g, b = rgb
    return r >= 128 and g < 100 and b < 100


def check_animation(c, res):
    found = res.find("AVI", 129)
    if not c.expect(len(found) == 1, "animation 129 (type \"AVI\"): %d copies" % len(found)):
        return
    data = found[0][1]
    avi = peres.parse_avi(data)
    h = avi["avih"]
    c.expect(h["usPerFrame"] == 150000, "avih: %d us a frame" % h["usPerFrame"])
    c.expect(h["totalFrames"] == 9, "avih: %d frames" % h["totalFrames"])
    c.expect((h["width"], h["height"]) == (71, 71), "avih: %dx%d" % (h["width"], h["height"]))
    c.expect(h["streams"] == 1, "avih: %d streams" % h["streams"])
    s = avi["strh"]
    c.expect(s["type"] == b"vids", "strh type %r" % s["type"])
    c.expect(s["handler"] in (b"DIB ", b"\0\0\0\0"), "strh handler %r" % s["handler"])
    c.expect(s["length"] == 9, "strh length %d" % s["length"])
    c.expect(s["rate"] and s["scale"] * 1000000 == 150000 * s["rate"],
             "strh scale/rate %d/%d is not 150 ms" % (s["scale"], s["rate"]))
    c.expect(len(avi["frames"]) == 9, "%d frame chunks in movi" % len(avi["frames"]))
    c.expect(all(f[0] == b"00db" for f in avi["frames"]), "frame chunks not all '00db'")
    c.expect(len(avi["index"]) == 9, "idx1 has %d entries" % len(avi["index"]))
    for (cid, _, off, size), (fid, moff, msize) in zip(avi["index"], avi["frames"]):
        c.expect(cid == fid and size == msize and avi["movi_offset"] + off + 8 == moff,
                 "idx1 entry %r at %d does not point at its chunk" % (cid, off))
    frames = [peres.avi_frame_pixels(data, avi, n) for n in range(len(avi["frames"]))]
    if not frames:
        return
    f0 = frames[0]
    c.expect((f0["width"], f0["height"], f0["bpp"], f0["compression"]) == (71, 71, 8, 0),
             "strf: %dx%d, %d bpp, compression %d" % (f0["width"], f0["height"], f0["bpp"], f0["compression"]))

    def rgb(f, x, y):
        return f["palette"][f["pixels"][y][x]]

    for n, f in enumerate(frames, 1):
        c.expect(rgb(f, 0, 0) == (255, 255, 255), "frame %d: top-left pixel %r, not white" % (n, rgb(f, 0, 0)))
        # The cross-hair runs through (35, 35) across the whole frame, one pixel wide, and shows as
        # a gap in the disc.
        for i in (0, 5, 64, 70):
            c.expect(is_blue(rgb(f, i, 35)) and is_blue(rgb(f, 35, i)),
                     "frame %d: cross-hair missing at %d on row/column 35" % (n, i))
            c.expect(not is_blue(rgb(f, i, 33)) and not is_blue(rgb(f, 33, i)) and
                     not is_blue(rgb(f, i, 37)) and not is_blue(rgb(f, 37, i)),
                     "frame %d: cross-hair not centred on 35 at %d" % (n, i))
        c.expect(not is_blue(rgb(f, 35, 35)), "frame %d: no cross-hair gap at the centre" % n)
        c.expect(all(is_blue(rgb(f, 35 + dx, 35 + dy)) for dx, dy in ((5, 5), (-5, 5), (5, -5), (-5, -5), (9, 3))),
                 "frame %d: no filled disc around the centre" % n)
        c.expect(not is_blue(rgb(f, 35 + 10, 35 + 10)), "frame %d: disc larger than about 11 px" % n)
        for deg in (20, 110, 200, 290):
            a = math.radians(deg)
            ray = [rgb(f, round(35 + r * math.cos(a)), round(35 + r * math.sin(a))) for r in range(14, 31)]
            ring = [14 + i for i, p in enumerate(ray) if is_blue(p)]
            c.expect(ring and all(21 <= r <= 27 for r in ring),
                     "frame %d: ring at %d degrees at radii %r, expected about 24" % (n, deg, ring))

    def red_distance(f, sx, sy):
        ds = [math.hypot(x - 35, y - 35) for y in range(71) for x in range(71)
              if is_red(rgb(f, x, y)) and (x - 35) * sx > 0 and (y - 35) * sy > 0]
        return sum(ds) / len(ds) if ds else None

    for sx, sy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        d = [red_distance(f, sx, sy) for f in frames]
        if not c.expect(all(v is not None for v in d), "quadrant %r: frames without a red mark: %r" % ((sx, sy), d)):
            continue
        if len(d) == 9:
            c.expect(all(d[i] > d[i + 1] for i in range(4)), "quadrant %r: marks do not move in over frames 1-5: %r"
                     % ((sx, sy), [round(v, 1) for v in d]))
            c.expect(all(d[i] < d[i + 1] for i in range(4, 8)), "quadrant %r: marks do not move out over frames 5-9"
                     % ((sx, sy),))
            c.expect(d[4] > 11 and d[0] > 30, "quadrant %r: marks from %.1f to %.1f px" % ((sx, sy), d[0], d[4]))


def group_entries(c, res, rtype, rid):
    found = res.find(rtype, rid)
    if not c.expect(len(found) == 1, "group %d: %d copies" % (rid, len(found))):
        return None
    kind, entries = peres.parse_group(found[0][1])
    c.expect(kind == (2 if rtype == peres.RT_GROUP_CURSOR else 1), "group %d: directory type %d" % (rid, kind))
    return entries


def check_cursors(c, res):
    entries = group_entries(c, res, peres.RT_GROUP_CURSOR, 106)
    if entries is not None and c.expect(len(entries) == 1, "cursor 106: %d images" % len(entries)):
        img = peres.cursor_image(res, entries[0]["id"])
        c.expect((img["width"], img["height"], img["bpp"]) == (32, 32, 1),
                 "cursor 106: %dx%d %d bpp" % (img["width"], img["height"], img["bpp"]))
        c.expect(img["hotspot"] == (15, 15), "cursor 106: hot spot %r" % (img["hotspot"],))
        opaque = sum(1 for y in range(32) for x in range(32)
                     if img["mask"][y][x] == 0 or img["pixels"][y][x] != 0)
        c.expect(opaque == 0, "cursor 106: %d pixels not transparent" % opaque)
    entries = group_entries(c, res, peres.RT_GROUP_CURSOR, 1104)
    if entries is not None and c.expect(len(entries) == 1, "cursor 1104: %d images" % len(entries)):
        img = peres.cursor_image(res, entries[0]["id"])
        c.expect((img["width"], img["height"]) == (32, 32), "cursor 1104: %dx%d" % (img["width"], img["height"]))
        c.expect(img["hotspot"] == (16, 16), "cursor 1104: hot spot %r" % (img["hotspot"],))
        c.expect(img["mask"][16][16] == 0, "cursor 1104: the hot spot is not on the cross-hair")
        c.expect(img["mask"][16][4] == 0 and img["mask"][4][16] == 0 and img["mask"][16][28] == 0,
                 "cursor 1104: no cross-hair through the hot spot")


def check_icons(c, res):
    want = {128: [(32, 32), (16, 16)], 1101: [(32, 32)], 1102: [(32, 32)]}
    pictures = {}
    for rid, sizes in want.items():
        entries = group_entries(c, res, peres.RT_GROUP_ICON, rid)
        if entries is None:
            continue
        got = sorted((e["width"], e["height"]) for e in entries)
        c.expect(got == sorted(sizes), "icon %d: sizes %r, expected %r" % (rid, got, sizes))
        for e in entries:
            img = peres.icon_image(res, e["id"])
            c.expect((img["width"], img["height"]) == (e["width"], e["height"]),
                     "icon %d: image %dx%d under a %dx%d entry" % (rid, img["width"], img["height"],
                                                                  e["width"], e["height"]))
            allowed = (4, 8) if rid == 128 else (4,)
            c.expect(img["bpp"] in allowed, "icon %d: %d bpp" % (rid, img["bpp"]))
            visible = sum(row.count(0) for row in img["mask"])
            c.expect(visible > img["width"] * img["height"] // 4,
                     "icon %d %dx%d: only %d visible pixels" % (rid, img["width"], img["height"], visible))
            if img["width"] == 32:
                pictures[rid] = [[img["palette"][p] if m == 0 else None for p, m in zip(prow, mrow)]
                                 for prow, mrow in zip(img["pixels"], img["mask"])]
    if 1101 in pictures and 1102 in pictures:
        differ = sum(1 for y in range(32) for x in range(32) if pictures[1101][y][x] != pictures[1102][y][x])
        c.expect(0 < differ < 32 * 32 // 3, "icons 1101 and 1102 differ in %d pixels: the target alone should" % differ)


def locate(tree):
    """Marksman.exe if built, else MarksmanResources.dll; None if neither."""
    for name in ("Marksman.exe", "MarksmanResources.dll"):
        for root, dirs, files in os.walk(tree):
            dirs[:] = [d for d in dirs if not d.startswith(".") and d not in ("drive_c", "dosdevices", "googletest")]
            if name in files:
                return os.path.join(root, name)
    return None


def check_tree(results, label, tree, machine, pe32plus):
    path = locate(tree) if os.path.isdir(tree) else None
    res = peres.open_located(results, label, path, "neither Marksman.exe nor MarksmanResources.dll under %s" % tree,
                             machine, pe32plus,
                             "" if path is None or path.endswith(".exe") else " (Marksman.exe not built yet)")
    if res is None:
        return
    for did, want in DIALOGS.items():
        with results.case("%s.Dialog%d" % (label, did)) as c:
            check_dialog(c, res, did, want)
    with results.case("%s.StringTable" % label) as c:
        check_strings(c, res)
    with results.case("%s.Animation129" % label) as c:
        check_animation(c, res)
    with results.case("%s.Cursors" % label) as c:
        check_cursors(c, res)
    with results.case("%s.Icons" % label) as c:
        check_icons(c, res)


def run_reader_tests(results):
    tests = os.path.join(HERE, "..", "native", "tools")
    suite = unittest.defaultTestLoader.discover(tests, pattern="peres_test.py", top_level_dir=tests)

    def flatten(s):
        for t in s:
            if isinstance(t, unittest.TestSuite):
                yield from flatten(t)
            else:
                yield t

    for test in flatten(suite):
        with results.case("PeReader." + test.id().split(".")[-1]) as c:
            outcome = unittest.TestResult()
            test.run(outcome)
            for _, tb in outcome.errors + outcome.failures:
                c.fail(tb)
            c.expect(outcome.testsRun == 1, "test did not run")


def main():
    args = checkresults.standard_args()
    results = checkresults.Results("check_resources")
    run_reader_tests(results)
    check_tree(results, "win32", args.win32, 0x14C, False)
    check_tree(results, "win64", args.win64, 0x8664, True)
    results.write(args.results)
    return results.exit_code()


if __name__ == "__main__":
    sys.exit(main())
