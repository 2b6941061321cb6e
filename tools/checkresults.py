"""Records the cases of a static check and writes them as a GoogleTest-style XML report.

    results = Results("check_name")
    with results.case("Group.Name") as c:
        c.expect(value == 3, "value is %d, expected 3" % value)
    results.write(results_dir)          # <results_dir>/check_name.xml
    sys.exit(results.exit_code())
A case fails when any expectation fails or its body raises."""

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

    def failed(self):
        return [c for c in self.cases if c.failures]

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
            if not c.failures:
                lines.append(head + " />")
                continue
            lines.append(head + ">")
            for f in c.failures:
                lines.append('      <failure message=%s>%s</failure>' % (quoteattr(f), escape(f)))
            lines.append("    </testcase>")
        lines += ["  </testsuite>", "</testsuites>", ""]
        path = os.path.join(results_dir, self.suite + ".xml")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print("%d passed, %d failed" % (len(self.cases) - failures, failures))
        return path


def standard_args(argv=None):
    """--win32 DIR --win64 DIR --results DIR, as scripts/test.sh passes them."""
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("--results", required=True)
    return p.parse_args(argv if argv is not None else sys.argv[1:])
