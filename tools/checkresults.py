"""Recording check outcomes as GoogleTest-style XML, so scripts/test.sh counts them with the rest.

A static check script (tests/static/*.py) is run as
    python3 <script> --win32 <build/win32> --win64 <build/win64> --results <dir>
and calls static_main(); it records one case per check, writes <dir>/<script name>.xml and exits
non-zero when any case failed.
"""

import argparse
import os
import sys
import time
import unittest
from xml.sax.saxutils import escape, quoteattr


class Results:
    def __init__(self, name):
        self.name = name
        self.cases = []  # (suite, case, outcome, message); outcome is "passed", "failed" or "skipped"

    def case(self, suite, name, ok, message=""):
        self.cases.append((suite, name, "passed" if ok else "failed", message))
        return ok

    def skip(self, suite, name, message):
        self.cases.append((suite, name, "skipped", message))

    @property
    def failed(self):
        return sum(1 for c in self.cases if c[2] == "failed")

    @property
    def passed(self):
        return sum(1 for c in self.cases if c[2] == "passed")

    def report(self, out=sys.stdout):
        for suite, name, outcome, message in self.cases:
            tag = {"passed": "ok  ", "failed": "FAIL", "skipped": "skip"}[outcome]
            line = f"[{tag}] {suite}.{name}"
            if message and outcome != "passed":
                line += f": {message}"
            print(line, file=out)

    def to_xml(self):
        suites = {}
        for case in self.cases:
            suites.setdefault(case[0], []).append(case)
        lines = ['<?xml version="1.0" encoding="UTF-8"?>',
                 f'<testsuites tests="{len(self.cases)}" failures="{self.failed}" disabled="0" '
                 f'errors="0" time="0" name={quoteattr(self.name)}>']
        for suite, cases in suites.items():
            failures = sum(1 for c in cases if c[2] == "failed")
            skipped = sum(1 for c in cases if c[2] == "skipped")
            lines.append(f'  <testsuite name={quoteattr(suite)} tests="{len(cases)}" failures="{failures}" '
                         f'disabled="0" skipped="{skipped}" errors="0" time="0">')
            for _, name, outcome, message in cases:
                result = "skipped" if outcome == "skipped" else "completed"
                head = (f'    <testcase name={quoteattr(name)} status="run" result="{result}" time="0" '
                        f'classname={quoteattr(suite)}')
                if outcome == "passed":
                    lines.append(head + ' />')
                elif outcome == "skipped":
                    lines.append(head + f'>\n      <skipped message={quoteattr(message)} />\n    </testcase>')
                else:
                    lines.append(head + f'>\n      <failure message={quoteattr(message)} type="">'
                                 f'{escape(message)}</failure>\n    </testcase>')
            lines.append('  </testsuite>')
        lines.append('</testsuites>')
        return "\n".join(lines) + "\n"

    def write(self, results_dir, filename=None):
        os.makedirs(results_dir, exist_ok=True)
        path = os.path.join(results_dir, filename or f"{self.name}.xml")
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(self.to_xml())
        os.replace(tmp, path)
        return path


def static_main(script_file, run):
    """Entry point of a static check script: run(args, results) records the cases."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--win32", required=True, help="the x86 build tree")
    parser.add_argument("--win64", required=True, help="the x64 build tree")
    parser.add_argument("--results", required=True, help="folder for the XML result")
    args = parser.parse_args()
    name = os.path.splitext(os.path.basename(script_file))[0]
    results = Results(name)
    try:
        run(args, results)
    except Exception as e:  # a broken check must show as a failure, not vanish
        results.case(name, "completes", False, f"{type(e).__name__}: {e}")
    results.report()
    results.write(args.results)
    return 1 if results.failed else 0


class _Collector(unittest.TestResult):
    def __init__(self, results):
        super().__init__()
        self.results = results

    @staticmethod
    def _split(test):
        parts = test.id().split(".")
        return parts[-2], parts[-1]

    def addSuccess(self, test):
        self.results.case(*self._split(test), True)

    def addFailure(self, test, err):
        self.results.case(*self._split(test), False, self._exc_info_to_string(err, test))

    def addError(self, test, err):
        self.results.case(*self._split(test), False, self._exc_info_to_string(err, test))

    def addSkip(self, test, reason):
        self.results.skip(*self._split(test), reason)

    def addSubTest(self, test, subtest, err):
        if err is not None:
            self.results.case(*self._split(test), False, f"{subtest}: " +
                              self._exc_info_to_string(err, test))


def unittest_main(script_file, module):
    """Runs a module's unittest cases and writes <results>/<script name>.xml (for CTest)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--results", required=True)
    args = parser.parse_args()
    name = os.path.splitext(os.path.basename(script_file))[0]
    results = Results(name)
    suite = unittest.defaultTestLoader.loadTestsFromModule(module)
    started = time.monotonic()
    suite.run(_Collector(results))
    results.report()
    print(f"{results.passed} passed, {results.failed} failed in {time.monotonic() - started:.1f} s")
    results.write(args.results)
    return 1 if results.failed or not results.cases else 0
