"""Records the cases of a static check and writes them as a GoogleTest-style XML report.

    results = Results("check_name")
    with results.case("Group.Name") as c:
        c.expect(value == 3, "value is %d, expected 3" % value)
    results.record("Group.Other", ok, "why it failed")   # a case decided in one go
    results.skip("Group.Later", "why it did not run")    # not counted as passed or failed
    results.write(results_dir)          # <results_dir>/check_name.xml
    sys.exit(results.exit_code())
A case fails when any expectation fails or its body raises.

A static check (tests/static/*.py) is a CTest test of the x86 tree (tests/static/CMakeLists.txt), run as
    python3 <script> --win32 <build/win32> --win64 <build/win64> --results <dir>
and may end with sys.exit(static_main(__file__, run)), run(args, results) recording the cases.
unittest_main() runs a module's unittest cases the same way, for CTest."""

import contextlib
import os
import sys
import time
import traceback
from xml.sax.saxutils import quoteattr, escape


class Case:
    def __init__(self, name):
        self.name = name
        self.failures = []
        self.skipped = None
        self.seconds = 0.0

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return bool(condition)

    def fail(self, message):
        self.failures.append(message)


class Results:
    def __init__(self, suite):
        self.suite = suite
        self.cases = []

    @contextlib.contextmanager
    def case(self, name):
        c = Case(name)
        start = time.monotonic()
        try:
            yield c
        except Exception:
            c.fail("raised:\n" + traceback.format_exc())
        c.seconds = time.monotonic() - start
        self.cases.append(c)
        status = "OK" if not c.failures else "FAILED"
        print("[ %6s ] %s" % (status, name))
        for f in c.failures:
            print("           " + f.replace("\n", "\n           "))

    def record(self, name, ok, message=""):
        """A case decided in one go."""
        with self.case(name) as c:
            c.expect(ok, message or "failed")
        return bool(ok)

    def skip(self, name, message):
        c = Case(name)
        c.skipped = message
        self.cases.append(c)
        print("[ %6s ] %s: %s" % ("SKIP", name, message))

    def failed(self):
        return [c for c in self.cases if c.failures]

    def passed(self):
        return [c for c in self.cases if not c.failures and c.skipped is None]

    def exit_code(self):
        return 1 if self.failed() or not self.cases else 0

    def write(self, results_dir):
        os.makedirs(results_dir, exist_ok=True)
        failures = len(self.failed())
        total = sum(c.seconds for c in self.cases)
        lines = ['<?xml version="1.0" encoding="UTF-8"?>',
                 '<testsuites tests="%d" failures="%d" errors="0" time="%.3f" name="AllTests">'
                 % (len(self.cases), failures, total),
                 '  <testsuite name=%s tests="%d" failures="%d" errors="0" time="%.3f">'
                 % (quoteattr(self.suite), len(self.cases), failures, total)]
        for c in self.cases:
            head = '    <testcase name=%s classname=%s status="run" time="%.3f"' % (
                quoteattr(c.name), quoteattr(self.suite), c.seconds)
            if c.skipped is not None:
                lines += [head + ' result="skipped">', '      <skipped message=%s />' % quoteattr(c.skipped)]
            elif not c.failures:
                lines.append(head + " />")
                continue
            else:
                lines += [head + ">"] + ['      <failure message=%s>%s</failure>' % (quoteattr(f), escape(f))
                                         for f in c.failures]
            lines.append("    </testcase>")
        lines += ["  </testsuite>", "</testsuites>", ""]
        path = os.path.join(results_dir, self.suite + ".xml")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print("%d passed, %d failed" % (len(self.passed()), failures))
        return path


def standard_args(argv=None):
    """--win32 DIR --win64 DIR --results DIR, as CTest passes them."""
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("--results", required=True)
    return p.parse_args(argv if argv is not None else sys.argv[1:])


def static_main(script_file, run):
    """Entry point of a static check script: run(args, results) records the cases."""
    args = standard_args()
    name = os.path.splitext(os.path.basename(script_file))[0]
    results = Results(name)
    try:
        run(args, results)
    except Exception:  # a check that breaks shows as a failure, not as fewer cases
        results.record(name + ".Completes", False, "raised:\n" + traceback.format_exc())
    results.write(args.results)
    return results.exit_code()


def unittest_main(script_file, module):
    """Runs a module's unittest cases as "Class.method" cases; --results DIR gets the XML."""
    import argparse
    import unittest
    p = argparse.ArgumentParser()
    p.add_argument("--results", required=True)
    args = p.parse_args()
    results = Results(os.path.splitext(os.path.basename(script_file))[0])

    def name(test):
        return ".".join(test.id().split(".")[-2:])

    class Collector(unittest.TestResult):
        def addSuccess(self, test):
            results.record(name(test), True)

        def addFailure(self, test, err):
            results.record(name(test), False, self._exc_info_to_string(err, test))

        addError = addFailure

        def addSubTest(self, test, subtest, err):
            if err is not None:
                results.record(name(test) + " " + subtest._subDescription(), False, self._exc_info_to_string(err, test))

        def addSkip(self, test, reason):
            results.skip(name(test), reason)

    unittest.defaultTestLoader.loadTestsFromModule(module).run(Collector())
    results.write(args.results)
    return results.exit_code()
