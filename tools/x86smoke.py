"""The verdicts of the x86 smoke run (scripts/x86-smoke.sh): the shell runs each attempt of a
check, this judges it (pass, fail, or retry under the check's retry rule) and records the cases;
at the end the cases are written as x86_smoke.xml through checkresults.

    x86smoke.py judge CHECK ATTEMPT SECONDS   prints pass, fail or retry
    x86smoke.py record CASE pass|fail|skip SECONDS [MESSAGE]
    x86smoke.py write RESULTS_DIR             exit status 1 when a case failed

Every command takes --logs DIR (the run's log folder; the cases are kept in DIR/cases.json). An
attempt of check CHECK leaves its evidence there: CHECK.log (the program's output), CHECK.exit
(its exit status), CHECK.xml (GoogleTest XML, if any) and CHECK.facts (key=value lines the shell
observed; "skip=why" or "error=why" decide the case before any rule).

A check is one CHECKS entry: the case it decides, how many attempts it gets, and the judge of one
attempt, which returns (verdict, message) with verdict "pass", "fail" or "again" (worth another
attempt when tries are left). A test program of tests/x86/ is judged by gtest_judge().
"""

import argparse
import json
import os
import re
import sys
import xml.etree.ElementTree as ET
from dataclasses import dataclass
from typing import Callable

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checkresults  # noqa: E402


class Evidence:
    def __init__(self, logs, check):
        self.logs = logs
        self.check = check

    def path(self, suffix):
        return os.path.join(self.logs, self.check + suffix)

    def text(self, suffix):
        try:
            with open(self.path(suffix), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return None

    @property
    def exit_status(self):
        text = self.text(".exit")
        return int(text) if text and text.strip().lstrip("-").isdigit() else None

    @property
    def facts(self):
        facts = {}
        for line in (self.text(".facts") or "").splitlines():
            key, _, value = line.partition("=")
            if key:
                facts[key.strip()] = value.strip()
        return facts

    def gtest_cases(self):
        """[(name, failure message or None)] of CHECK.xml; None when there is no readable file."""
        try:
            root = ET.parse(self.path(".xml")).getroot()
        except (FileNotFoundError, ET.ParseError):
            return None
        cases = []
        for case in root.iter("testcase"):
            if case.get("status") == "notrun":
                continue
            failure = case.find("failure")
            message = None if failure is None else " ".join((failure.get("message") or "failed").split())[:400]
            cases.append((case.get("name"), message))
        return cases


# Judges. The emulation now and then kills a process or stalls a thread of it: such an attempt
# leaves no result, or (the calibration and Setwell tests say so) fails waiting while the program
# under test shows no message of its own. Wrong values and the program's own messages fail at once.

def judge_fitment(ev):
    cases = ev.gtest_cases()
    if cases is None:
        return "again", "no results from fitment_test_x86.exe (exit %s)" % ev.exit_status
    failed = [name for name, message in cases if message is not None]
    names = [name for name, _ in cases]
    if ev.exit_status == 0 and cases and not failed and "SecondDriverNamedByItsInfIsSelected" in names:
        return "pass", "%d cases" % len(cases)
    return "fail", "exit %s, %d cases, %d failed: %s" % (ev.exit_status, len(cases), len(failed), " ".join(failed))


def relay_wstr(text):
    """A text as Wine's relay trace prints a wide string (debugstr_w)."""
    return 'L"' + "".join(c if 32 <= ord(c) < 127 and c not in '\\"' else "\\%04x" % ord(c) for c in text) + '"'


MESSAGE_20 = "初始化设备管理失败！"
MB_OK_ICONEXCLAMATION = 0x30


def judge_message_20(ev):
    """Marksman without a driver: one owner-less MessageBoxW with string 20, caption "Marksman",
    MB_OK | MB_ICONEXCLAMATION, and the program ends once it is confirmed."""
    facts = ev.facts
    if facts.get("window") != "1":
        return "fail", "no window titled Marksman appeared"
    # Call user32.MessageBoxW(<owner>,<ptr> L"<text>",<ptr> L"<caption>",<style>) ret=...
    calls = [line for line in (ev.text(".log") or "").splitlines() if "Call user32.MessageBox" in line]
    call = calls[0] if calls else "none"
    problems = []
    m = re.search(r'Call user32\.(MessageBox\w+)\(([0-9a-fA-F]+),[0-9a-fA-F]+ (L".*?"),[0-9a-fA-F]+ (L".*?"),'
                  r'([0-9a-fA-F]+)\)', call)
    if not m or m.group(1) != "MessageBoxW" or int(m.group(2), 16) != 0:
        problems.append("not an owner-less MessageBoxW call: " + call)
    if not m or m.group(3) != relay_wstr(MESSAGE_20):
        problems.append("text is not string 20: " + call)
    if not m or m.group(4) != relay_wstr("Marksman") or int(m.group(5), 16) != MB_OK_ICONEXCLAMATION:
        problems.append('caption not "Marksman" or style not MB_OK|MB_ICONEXCLAMATION: ' + call)
    if facts.get("ended") != "1":
        problems.append("Marksman did not end within %s s of confirming the message" % facts.get("end_limit", "?"))
    if len(calls) > 1:
        problems.append("more than one message box was shown")
    return ("fail", "; ".join(problems)) if problems else ("pass", "")


PACKAGE_FILES = 7  # the four binaries, two notes, the example INF


def judge_package(ev):
    """msiexec /i <x86 package> /qn ended with 0 and the files are in the install folder, equal to
    the archive's where it was given. An
    attempt that left no exit status, or one the emulation killed, is worth another try."""
    facts, status = ev.facts, ev.exit_status
    if status is None or status >= 128:
        return "again", "msiexec did not end by itself (exit %s)" % status
    if status == 0 and facts.get("files") == str(PACKAGE_FILES) and not facts.get("differ"):
        return "pass", "installed in %s s" % facts.get("seconds", "?")
    return "fail", "msiexec exit %s; missing from the install folder: %s; unlike the archive's: %s" % (
        status, facts.get("missing") or "none", facts.get("differ") or "none")


NO_MESSAGE = "no message from Marksman"  # tests/x86/marksman_x86_test.cpp, when a wait stalls
NO_SETWELL_MESSAGE = "no message from Setwell"  # tests/x86/setwell_x86_test.cpp, likewise


def gtest_judge(stall=None):
    """The judge of a test program's attempt: it passes when every case passed. One that left no
    result, or failed with the words `stall` in its first failure, is worth another try."""

    def judge(ev):
        cases = ev.gtest_cases()
        if cases is None:
            return "again", "no result (exit %s)" % ev.exit_status
        for line in (ev.text(".log") or "").splitlines():
            if "max landing error" in line:
                note(line.strip())
        if not cases:
            return "fail", "no case ran"
        failed = [(name, message) for name, message in cases if message is not None]
        if not failed:
            return "pass", ""
        message = "; ".join("%s: %s" % f for f in failed)
        return ("again" if stall and stall in failed[0][1] else "fail"), message

    return judge


@dataclass
class Check:
    case: str
    tries: int
    judge: Callable


CHECKS = {
    "package": Check("X86PackageInstallsSilently", 2, judge_package),
    "fitment": Check("FitmentSelectsTheNamedDriverInX86Process", 2, judge_fitment),
    "nodriver": Check("MarksmanWithoutDriverShowsMessage20AndEnds", 1, judge_message_20),
    "calibration-WindowsXP": Check("MarksmanCalibrationAsWindowsXP", 4, gtest_judge(stall=NO_MESSAGE)),
    "calibration-Windows2000": Check("MarksmanCalibrationAsWindows2000", 4, gtest_judge(stall=NO_MESSAGE)),
    "setwell": Check("SetwellReadsAndAppliesSettingsInX86Process", 3, gtest_judge(stall=NO_SETWELL_MESSAGE)),
}


_run_log = None


def note(text):
    line = "x86-smoke: " + text
    print(line, file=sys.stderr)
    if _run_log:
        with open(_run_log, "a", encoding="utf-8") as f:
            f.write(line + "\n")


class Cases:
    """The run's cases so far, kept in a file between the calls of the shell."""

    def __init__(self, logs):
        self.path = os.path.join(logs, "cases.json")

    def load(self):
        try:
            with open(self.path, encoding="utf-8") as f:
                return json.load(f)
        except FileNotFoundError:
            return []

    def add(self, name, outcome, seconds, message=""):
        cases = self.load() + [{"name": name, "outcome": outcome, "seconds": seconds, "message": message}]
        with open(self.path, "w", encoding="utf-8") as f:
            json.dump(cases, f, ensure_ascii=False, indent=1)
        note("[%s] %s (%ss)%s" % (outcome, name, seconds, ": " + message if message else ""))


def judge(logs, check_id, attempt, seconds):
    """The verdict on one attempt; records the case unless another attempt follows."""
    check = CHECKS[check_id]
    ev = Evidence(logs, check_id)
    facts = ev.facts
    log = " (log %s)" % ev.path(".log")
    if "skip" in facts:
        verdict, message = "skip", facts["skip"]
    elif "error" in facts:
        verdict, message = "fail", facts["error"] + log
    else:
        verdict, message = check.judge(ev)
        if verdict == "again":
            if attempt < check.tries:
                note("%s: attempt %d stalled or died under emulation: %s" % (check.case, attempt, message))
                return "retry"
            verdict = "fail"
        if check.tries > 1:
            message = "%s%sattempt %d" % (message, "; " if message else "", attempt)
        if verdict == "fail":
            message += log
    Cases(logs).add(check.case, verdict, seconds, message)
    return verdict


def write(logs, results_dir):
    results = checkresults.Results("x86_smoke")
    for case in Cases(logs).load():
        if case["outcome"] == "skip":
            results.skip(case["name"], case["message"], seconds=case["seconds"])
        else:
            results.record(case["name"], case["outcome"] == "pass", case["message"], seconds=case["seconds"])
    path = results.write(results_dir)
    note("results: %s (%d cases, %d failed)" % (path, len(results.cases), len(results.failed())))
    return results.exit_code()


def main(argv):
    global _run_log
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--logs", required=True)
    sub = p.add_subparsers(dest="command", required=True)
    j = sub.add_parser("judge")
    j.add_argument("check", choices=sorted(CHECKS))
    j.add_argument("attempt", type=int)
    j.add_argument("seconds", type=int)
    r = sub.add_parser("record")
    r.add_argument("case")
    r.add_argument("outcome", choices=("pass", "fail", "skip"))
    r.add_argument("seconds", type=int)
    r.add_argument("message", nargs="?", default="")
    w = sub.add_parser("write")
    w.add_argument("results")
    args = p.parse_args(argv)
    _run_log = os.path.join(args.logs, "run.log")
    if args.command == "judge":
        print(judge(args.logs, args.check, args.attempt, args.seconds))
        return 0
    if args.command == "record":
        Cases(args.logs).add(args.case, args.outcome, args.seconds, args.message)
        return 0
    return write(args.logs, args.results)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
