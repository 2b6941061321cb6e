"""Tests of tools/x86smoke.py: the verdicts on attempts of the x86 smoke run, its retry rules and
the XML it writes, on evidence written here as the shell and the programs would leave it."""

import contextlib
import io
import os
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools"))
import checkresults  # noqa: E402
import x86smoke  # noqa: E402

# Wine's relay trace of Marksman's message 20 "初始化设备管理失败！" as it should be.
TEXT_20 = r'L"\521d\59cb\5316\8bbe\5907\7ba1\7406\5931\8d25\ff01"'
GOOD_CALL = '0024:Call user32.MessageBoxW(00000000,0040a0c0 %s,0040a100 L"Marksman",00000030) ret=00401234' % TEXT_20


def gtest_xml(cases):
    """cases: [(name, failure message or None)]."""
    body = "".join('<testcase name=%s status="run" classname="S">%s</testcase>'
                   % (quoteattr(name), "" if msg is None else "<failure message=%s/>" % quoteattr(msg))
                   for name, msg in cases)
    return '<testsuites><testsuite name="S">%s</testsuite></testsuites>' % body


class Attempts(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.logs = tmp.name

    def leave(self, check, log=None, exit=None, xml=None, facts=None):
        for suffix, text in ((".log", log), (".exit", exit), (".xml", xml), (".facts", facts)):
            path = os.path.join(self.logs, check + suffix)
            if os.path.exists(path):
                os.remove(path)
            if text is not None:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(str(text))

    def judge(self, check, attempt=1):
        return x86smoke.judge(self.logs, check, attempt, 5)

    def cases(self):
        return [(c["name"], c["outcome"]) for c in x86smoke.Cases(self.logs).load()]

    def test_message_20_verdicts(self):
        shown = "window=1\nended=1\n"
        table = [
            ("as it should be", GOOD_CALL, shown, "pass"),
            ("with an owner", GOOD_CALL.replace("(00000000,", "(00010020,"), shown, "fail"),
            ("the ANSI call", GOOD_CALL.replace("MessageBoxW", "MessageBoxA"), shown, "fail"),
            ("another text", GOOD_CALL.replace(r"\ff01", "!"), shown, "fail"),
            ("another caption", GOOD_CALL.replace('L"Marksman"', 'L"Setwell"'), shown, "fail"),
            ("another icon", GOOD_CALL.replace(",00000030)", ",00000010)"), shown, "fail"),
            ("two boxes", GOOD_CALL + "\n" + GOOD_CALL, shown, "fail"),
            ("no call traced", "0024:Call user32.GetDC(00000000) ret=1", shown, "fail"),
            ("no window", GOOD_CALL, "", "fail"),
            ("not ended", GOOD_CALL, "window=1\n", "fail"),
        ]
        for label, log, facts, verdict in table:
            with self.subTest(label):
                self.leave("nodriver", log=log, facts=facts)
                self.assertEqual(self.judge("nodriver"), verdict)
        self.assertEqual(len(self.cases()), len(table), "one case per verdict, no tries left over")

    def test_calibration_tries_four_times_only_while_marksman_says_nothing(self):
        stalled = gtest_xml([("T/WindowsXP", "target 2 did not show; no message from Marksman")])
        for attempt in (1, 2, 3):
            self.leave("calibration-WindowsXP", xml=stalled, exit=1)
            self.assertEqual(self.judge("calibration-WindowsXP", attempt), "retry")
            self.leave("calibration-WindowsXP", exit=124)  # died: no XML at all
            self.assertEqual(self.judge("calibration-WindowsXP", attempt), "retry")
        self.assertEqual(self.cases(), [])
        self.leave("calibration-WindowsXP", xml=stalled, exit=1)
        self.assertEqual(self.judge("calibration-WindowsXP", 4), "fail")
        self.assertEqual(self.cases(), [("MarksmanCalibrationAsWindowsXP", "fail")])

    def test_setwell_tries_three_times_only_while_setwell_says_nothing(self):
        stalled = gtest_xml([("X86Setwell.T", "no reload after Apply; Setwell is running, no message from Setwell")])
        table = [
            ("stalled, first try", stalled, 1, 1, "retry"),
            ("died, second try", None, 124, 2, "retry"),
            ("stalled, last try", stalled, 1, 3, "fail"),
            ("passed", gtest_xml([("X86Setwell.T", None)]), 0, 1, "pass"),
            ("wrong value", gtest_xml([("X86Setwell.T", "DragDelay: 0, expected 300")]), 1, 1, "fail"),
            ("Setwell's message", gtest_xml([("X86Setwell.T", 'Setwell is running, its message reads "x"')]), 1, 1,
             "fail"),
            # Marksman's words are no excuse here.
            ("another program's stall", gtest_xml([("X86Setwell.T", "no message from Marksman")]), 1, 1, "fail"),
        ]
        for label, xml, exit_status, attempt, verdict in table:
            with self.subTest(label):
                self.leave("setwell", xml=xml, exit=exit_status)
                self.assertEqual(self.judge("setwell", attempt), verdict)
        self.assertEqual(self.cases(), [("SetwellReadsAndAppliesSettingsInX86Process", "fail")] + [
            ("SetwellReadsAndAppliesSettingsInX86Process", v) for v in ("pass", "fail", "fail", "fail")])

    def test_calibration_verdicts_that_end_at_once(self):
        table = [
            ("passed", gtest_xml([("T/Windows2000", None)]), "pass"),
            ("wrong values", gtest_xml([("T/Windows2000", "XRange is 32767, expected 16383")]), "fail"),
            ("Marksman's message", gtest_xml([("T/Windows2000", 'its message reads "x"')]), "fail"),
            ("no case ran", gtest_xml([]), "fail"),
        ]
        for label, xml, verdict in table:
            with self.subTest(label):
                self.leave("calibration-Windows2000", xml=xml, exit=0)
                self.assertEqual(self.judge("calibration-Windows2000", 1), verdict)
        self.assertEqual([n for n, _ in self.cases()], ["MarksmanCalibrationAsWindows2000"] * len(table))

    def test_fitment_verdicts(self):
        named = ("SecondDriverNamedByItsInfIsSelected", None)
        table = [
            ("passed", gtest_xml([("A", None), named]), 0, 1, "pass"),
            ("a case failed", gtest_xml([("A", "wrong driver"), named]), 1, 1, "fail"),
            ("the named-driver case missing", gtest_xml([("A", None)]), 0, 1, "fail"),
            ("failed after its cases", gtest_xml([named]), 3, 1, "fail"),
            ("no result, first try", None, 139, 1, "retry"),
            ("no result, second try", None, 139, 2, "fail"),
        ]
        for label, xml, exit_status, attempt, verdict in table:
            with self.subTest(label):
                self.leave("fitment", xml=xml, exit=exit_status)
                self.assertEqual(self.judge("fitment", attempt), verdict)

    def test_facts_decide_before_the_rules(self):
        self.leave("fitment", facts="skip=Fitment.dll (x86) is not built\n")
        self.assertEqual(self.judge("fitment"), "skip")
        self.leave("calibration-WindowsXP", facts="error=the x86 simulated driver did not start\n")
        self.assertEqual(self.judge("calibration-WindowsXP"), "fail")
        self.assertEqual(self.cases(), [("FitmentSelectsTheNamedDriverInX86Process", "skip"),
                                        ("MarksmanCalibrationAsWindowsXP", "fail")])

    def test_written_xml_counts_each_case_once(self):
        x86smoke.Cases(self.logs).add("EmulatedWineSession", "pass", 40)
        x86smoke.Cases(self.logs).add("FitmentSelectsTheNamedDriverInX86Process", "skip", 0, "not built")
        x86smoke.Cases(self.logs).add("MarksmanCalibrationAsWindowsXP", "fail", 90, "values <wrong> & more")
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
            self.assertEqual(x86smoke.write(self.logs, self.logs), 1)
        root = ET.parse(os.path.join(self.logs, "x86_smoke.xml")).getroot()
        self.assertEqual((root.get("tests"), root.get("failures")), ("3", "1"))
        got = {c.get("name"): (c.find("failure") is not None, c.find("skipped") is not None, c.get("time"))
               for c in root.iter("testcase")}
        self.assertEqual(got, {"EmulatedWineSession": (False, False, "40.000"),
                               "FitmentSelectsTheNamedDriverInX86Process": (False, True, "0.000"),
                               "MarksmanCalibrationAsWindowsXP": (True, False, "90.000")})
        self.assertEqual(root.find(".//failure").get("message"), "values <wrong> & more")

    def test_package_verdicts(self):
        table = [
            ("installed", 0, "files=7\nmissing=\nseconds=40", 1, "pass"),
            ("refused", 67, "files=0\nmissing=Marksman.exe", 1, "fail"),
            ("exit 0 but files missing", 0, "files=6\nmissing=Scribe.exe", 1, "fail"),
            ("other files than the archive's", 0, "files=7\nmissing=\ndiffer=Setwell.exe", 1, "fail"),
            ("killed by the emulation, first try", 139, "files=0", 1, "retry"),
            ("killed by the emulation, second try", 139, "files=0", 2, "fail"),
            ("no exit status", None, None, 1, "retry"),
        ]
        for label, exit_status, facts, attempt, verdict in table:
            with self.subTest(label):
                self.leave("package", exit=exit_status, facts=facts)
                self.assertEqual(self.judge("package", attempt), verdict)

    def test_every_check_decides_one_named_case(self):
        names = [check.case for check in x86smoke.CHECKS.values()]
        self.assertEqual(sorted(names), sorted({"X86PackageInstallsSilently", "FitmentSelectsTheNamedDriverInX86Process",
                                                "MarksmanWithoutDriverShowsMessage20AndEnds",
                                                "MarksmanCalibrationAsWindowsXP", "MarksmanCalibrationAsWindows2000",
                                                "SetwellReadsAndAppliesSettingsInX86Process"}))


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
