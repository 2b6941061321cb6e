"""Tests of tests/static/check_languages.py: the pairing rules for string tables and dialog
templates, on crafted pairs."""

import copy
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "static"))
import check_languages  # noqa: E402
import checkresults  # noqa: E402

ZH = {4: "设置校准参数失败：", 8: "请触摸左上角\n手指离开以前可以移动", 30: "误差 %.1f 像素 (%+d, %+d)"}
EN = {4: "Failed to set the calibration values: ", 8: "Touch the top left\nYou may move your finger",
      30: "Error %.1f px (%+d, %+d)"}


def control(cid, cls, text, style=0x50000000):
    return {"id": cid, "class": cls, "text": text, "style": style, "exstyle": 0}


def dialog(typeface, size, caption, controls):
    return {"style": 0x80C800C0, "exstyle": 0x40000, "typeface": typeface, "pointsize": size,
            "caption": caption, "controls": controls}


ZH_DIALOG = dialog("宋体", 10, "选择设备", [control(1, "Button", "确定", 0x50010001), control(0xFFFF, "Static", "制造商："),
                                        control(1102, "Static", 1102, 0x50000103)])
EN_DIALOG = dialog("MS Shell Dlg", 8, "Select Device", [control(1, "Button", "OK", 0x50010001),
                                                        control(0xFFFF, "Static", "Manufacturer:"),
                                                        control(1102, "Static", 1102, 0x50000103)])


def with_(table, sid, text):
    out = dict(table)
    out[sid] = text
    return out


def strings_problems(zh, en, followed=(4,)):
    case = checkresults.Case("x")
    check_languages.check_string_pairs(case, zh, en, followed)
    return case.failures


def dialog_problems(zh, en):
    case = checkresults.Case("x")
    check_languages.check_dialog_pair(case, 1079, zh, en)
    return case.failures


class StringPairs(unittest.TestCase):
    def test_matching_pairs_pass(self):
        self.assertEqual(strings_problems(ZH, EN), [])

    def test_faults_are_found(self):
        cases = {
            "missing id": (ZH, {k: v for k, v in EN.items() if k != 8}),
            "extra id": (ZH, with_(EN, 9, "Nine")),
            "conversion lost": (ZH, with_(EN, 30, "Error %.1f px (%+d)")),
            "conversion changed": (ZH, with_(EN, 30, "Error %d px (%+d, %+d)")),
            "line lost": (ZH, with_(EN, 8, "Touch the top left; you may move your finger")),
            "no colon before the system text": (ZH, with_(EN, 4, "Failed to set the calibration values.")),
            "Chinese left in English": (ZH, with_(EN, 4, "设置校准参数失败: ")),
            "empty English": (ZH, with_(EN, 4, "")),
        }
        for what, (zh, en) in cases.items():
            with self.subTest(what):
                self.assertNotEqual(strings_problems(zh, en), [], what)


class DialogPairs(unittest.TestCase):
    def test_matching_pair_passes(self):
        self.assertEqual(dialog_problems(ZH_DIALOG, EN_DIALOG), [])

    def test_faults_are_found(self):
        def changed(edit):
            en = copy.deepcopy(EN_DIALOG)
            edit(en)
            return en

        cases = {
            "Chinese font in English": changed(lambda d: d.update(typeface="宋体", pointsize=10)),
            "other dialog style": changed(lambda d: d.update(style=d["style"] | 0x10000000)),
            "control missing": changed(lambda d: d["controls"].pop()),
            "other id": changed(lambda d: d["controls"][1].update(id=1081)),
            "other class": changed(lambda d: d["controls"][1].update({"class": "Edit"})),
            "other control style": changed(lambda d: d["controls"][1].update(style=0x50000001)),
            "text lost": changed(lambda d: d["controls"][1].update(text="")),
            "other icon": changed(lambda d: d["controls"][2].update(text=1101)),
            "caption lost": changed(lambda d: d.update(caption="")),
            "Chinese caption": changed(lambda d: d.update(caption="选择设备")),
        }
        for what, en in cases.items():
            with self.subTest(what):
                self.assertNotEqual(dialog_problems(ZH_DIALOG, en), [], what)


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
