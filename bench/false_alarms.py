#!/usr/bin/env python3
"""How often does -check cry wolf? Runs `vyrtest -check -duration 1` N times
(default 200), each on a display of its own, OpenGL and Vulkan in turn, and
counts the exit codes and the reasons of every check that did not pass. Meant
to run while the machine is busy (beside the test suite): a right picture on a
plain display must give 0 every time, never 3 (failed) nor 5 (inconclusive).

Usage: bench/false_alarms.py [--runs N] [--bin build/native/bin]
Prints one line per run that did not end with 0, then the counts; exit status
1 when any run did not end with 0.
"""
import argparse
import collections
import json
import os
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), "tests", "support"))
from test_display import TestDisplay  # noqa: E402

parser = argparse.ArgumentParser()
parser.add_argument("--runs", type=int, default=200)
parser.add_argument("--bin", default=os.path.join(os.path.dirname(here), "build", "native", "bin"))
options = parser.parse_args()
program = os.path.join(os.path.abspath(options.bin), "vyrtest")
work = tempfile.mkdtemp(prefix="vyr-false-alarms.")
codes, reasons = collections.Counter(), collections.Counter()
for i in range(options.runs):
    backend = ["-vulkan"] if i % 2 else []
    report = os.path.join(work, "r%d.json" % i)
    with TestDisplay() as display:
        code, _, err = display.run([program, "-nosound", "-check", "-duration", "1", "-report", report] + backend,
                                   timeout=120, env=display.env(XDG_DATA_HOME=work))
    codes[code] += 1
    if code != 0:
        results = json.load(open(report)) if os.path.exists(report) else {}
        for check in (results.get("picture") or {}).get("checks", []):
            if check.get("outcome") != "passed":
                why = check.get("reason") or check.get("message") or "%s %.4f in the %s" % (
                    check.get("outcome"), check.get("difference") or 0, check.get("worst_region"))
                reasons["%s: %s" % (check.get("name"), why)] += 1
        print("run %d%s: exit %s: %s" % (i, " ".join([""] + backend), code, err.strip().splitlines()[-1:]), flush=True)
print("runs: %d; exit codes: %s" % (options.runs, ", ".join("%s: %d" % c for c in sorted(codes.items(), key=str))))
for why, count in reasons.most_common():
    print("  %d x %s" % (count, why))
sys.exit(0 if codes[0] == options.runs else 1)
