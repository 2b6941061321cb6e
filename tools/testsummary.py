"""Sums the outcome of a test run into one line "N passed, N failed".

scripts/test.sh writes a ledger, one entry a line (fields separated by tabs):
    step    <name> <exit code>                       a build step or the harness: a failure if not 0
    ctest   <tree> <ctest junit file> <results dir>  one CTest run
A CTest test counts the cases of its GoogleTest XML (<results dir>/<test name>.xml). A test that
failed without one (crash, time-out) counts as one failure, and so does a test whose XML shows no
failure although the program failed (a crash or sanitizer report after the last case).
"""

import os
import sys
import xml.etree.ElementTree as ET


def count_cases(path):
    """(passed, failed, names of failed cases) of a GoogleTest-style XML file."""
    passed, failed, names = 0, 0, []
    for case in ET.parse(path).getroot().iter("testcase"):
        if case.get("status") == "notrun" or case.get("result") == "skipped" or \
                case.find("skipped") is not None:
            continue
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            names.append(f"{case.get('classname')}.{case.get('name')}")
        else:
            passed += 1
    return passed, failed, names


class Tally:
    def __init__(self):
        self.passed, self.failed, self.failures = 0, 0, []

    def add(self, passed, failed, names):
        self.passed += passed
        self.failed += failed
        self.failures.extend(names)

    def program(self, label, ok, xml):
        """One test program: its XML's cases, corrected by how the program itself ended."""
        if xml and os.path.isfile(xml):
            try:
                passed, failed, names = count_cases(xml)
            except ET.ParseError as e:
                self.add(0, 1, [f"{label} (unreadable result {xml}: {e})"])
                return
            self.add(passed, failed, [f"{label}: {n}" for n in names])
            if not ok and failed == 0:
                self.add(0, 1, [f"{label} (failed after its cases passed: crash or sanitizer report)"])
        elif ok:
            self.add(1, 0, [])
        else:
            self.add(0, 1, [f"{label} (crashed or timed out: no result file)"])


def ctest_run(tally, tree, junit, results):
    if not os.path.isfile(junit):
        tally.add(0, 1, [f"{tree}: ctest wrote no results ({junit})"])
        return
    try:
        root = ET.parse(junit).getroot()
    except ET.ParseError as e:
        tally.add(0, 1, [f"{tree}: unreadable ctest results: {e}"])
        return
    for case in root.iter("testcase"):
        name = case.get("name")
        status = case.get("status", "run")
        if status == "disabled":
            continue
        if status == "notrun":  # a fixture it needs failed, or it could not start
            tally.add(0, 1, [f"{tree}/{name} (not run)"])
            continue
        ok = status == "run" and case.find("failure") is None and case.find("error") is None
        tally.program(f"{tree}/{name}", ok, os.path.join(results, f"{name}.xml"))


def main(ledger):
    tally = Tally()
    with open(ledger, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "step":
                if fields[2] != "0":
                    tally.add(0, 1, [f"{fields[1]} (exit {fields[2]})"])
            elif fields[0] == "ctest":
                ctest_run(tally, fields[1], fields[2], fields[3])
    for name in tally.failures:
        print(f"FAILED: {name}")
    print(f"{tally.passed} passed, {tally.failed} failed")
    return 1 if tally.failed or tally.passed == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
