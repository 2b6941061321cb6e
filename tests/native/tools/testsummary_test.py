"""Tests of tools/testsummary.py: how results, crashes and time-outs are counted."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools"))
import checkresults  # noqa: E402
import testsummary  # noqa: E402


def gtest_xml(passed, failed, skipped=0):
    cases = ['<testcase name="P%d" status="run" result="completed" classname="S" />' % i for i in range(passed)]
    cases += ['<testcase name="F%d" status="run" result="completed" classname="S">'
              '<failure message="x">x</failure></testcase>' % i for i in range(failed)]
    cases += ['<testcase name="K%d" status="run" result="skipped" classname="S"><skipped /></testcase>' % i
              for i in range(skipped)]
    cases.append('<testcase name="D" status="notrun" result="suppressed" classname="S" />')
    return ('<?xml version="1.0"?><testsuites tests="%d" failures="%d"><testsuite name="S">%s'
            '</testsuite></testsuites>' % (passed + failed, failed, "".join(cases)))


def junit(statuses):
    cases = []
    for name, status in statuses.items():
        body = '<failure message="Failed"/>' if status == "fail" else ""
        cases.append('<testcase name="%s" classname="%s" status="%s">%s</testcase>'
                     % (name, name, status, body))
    return '<?xml version="1.0"?><testsuite name="t">%s</testsuite>' % "".join(cases)


class Summary(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.ledger = []

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def summary(self):
        path = self.write("ledger.tsv", "".join("\t".join(e) + "\n" for e in self.ledger))
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = testsummary.main(path)
        lines = out.getvalue().splitlines()
        return code, lines[-1], lines[:-1]

    def test_sums_cases_of_every_source(self):
        os.makedirs(os.path.join(self.dir, "r"))
        self.write("r/a.xml", gtest_xml(3, 0, skipped=2))
        self.write("r/b.xml", gtest_xml(4, 0))
        self.ledger.append(("ctest", "native", self.write("j.xml", junit({"a": "run", "b": "run"})),
                            os.path.join(self.dir, "r")))
        os.makedirs(os.path.join(self.dir, "s"))
        self.write("s/check_x.xml", gtest_xml(5, 0))
        self.ledger.append(("ctest", "win32", self.write("k.xml", junit({"check_x": "run", "no_xml": "run"})),
                            os.path.join(self.dir, "s")))
        self.ledger.append(("step", "build win64", "0"))
        self.assertEqual(self.summary()[:2], (0, "13 passed, 0 failed"))

    def test_crash_timeout_and_late_failure_count_as_failures(self):
        os.makedirs(os.path.join(self.dir, "r"))
        self.write("r/failing.xml", gtest_xml(2, 1))
        self.write("r/late.xml", gtest_xml(3, 0))
        statuses = {"crashed": "fail", "failing": "fail", "late": "fail", "plain": "run", "notrun": "notrun"}
        self.ledger.append(("ctest", "win64", self.write("j.xml", junit(statuses)), os.path.join(self.dir, "r")))
        code, last, details = self.summary()
        self.assertEqual((code, last), (1, "6 passed, 4 failed"))
        text = "\n".join(details)
        for name in ("win64/crashed", "win64/failing: S.F0", "win64/late", "win64/notrun"):
            self.assertIn(name, text)

    def test_missing_results_and_failed_steps_are_failures(self):
        self.ledger.append(("ctest", "native", os.path.join(self.dir, "none.xml"), self.dir))
        self.write("check_z.xml", gtest_xml(1, 0))
        self.write("check_bad.xml", "<testsuites><oops")
        statuses = {"check_y": "fail", "check_z": "fail", "check_bad": "run"}
        self.ledger.append(("ctest", "win32", self.write("j.xml", junit(statuses)), self.dir))
        self.ledger.append(("step", "build win32", "2"))
        code, last, details = self.summary()
        self.assertEqual((code, last), (1, "1 passed, 5 failed"))
        self.assertIn("unreadable result", "\n".join(details))

    def test_nothing_run_is_not_a_success(self):
        self.assertEqual(self.summary()[:2], (1, "0 passed, 0 failed"))


class ResultHelper(unittest.TestCase):
    def test_written_xml_is_counted_as_recorded(self):
        with tempfile.TemporaryDirectory() as tmp:
            results = checkresults.Results("check_demo")
            with contextlib.redirect_stdout(io.StringIO()):
                results.record("A.ok", True)
                results.record("A.bad", False, "went <wrong> & \"badly\"")
                results.skip("A.later", "not built")
                with results.case("B.raises") as c:
                    c.expect(True, "")
                    raise RuntimeError("boom")
                path = results.write(tmp)
            self.assertEqual(testsummary.count_cases(path), (1, 2, ["check_demo.A.bad", "check_demo.B.raises"]))
            self.assertEqual(results.exit_code(), 1)


if __name__ == "__main__":
    sys.exit(checkresults.unittest_main(__file__, sys.modules[__name__]))
