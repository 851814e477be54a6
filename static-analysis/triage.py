#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Sorts clang-tidy and cppcheck diagnostics into known and new findings.

  triage.py KNOWN_FINDINGS SOURCE_ROOT TOOL=LOG...

Prints every finding once, relative to SOURCE_ROOT.  Findings listed in
KNOWN_FINDINGS (tool, check, file) are shown as known; any other finding, or
a log with no parsable finding from a tool that failed (TOOL=LOG:RC with RC
non-zero), makes the exit status 1.  Findings located outside SOURCE_ROOT
(system headers: the analyzer ends some paths there, e.g. in Google
Benchmark's registry, which owns what RegisterBenchmark allocates) are not
this project's and are only counted.
"""
import os
import re
import sys

DIAGNOSTIC = re.compile(
    r"^(?P<file>[^:\s][^:]*):(?P<line>\d+):(?P<col>\d+): "
    r"(?P<severity>error|warning|style|performance|portability|information): "
    r"(?P<message>.*?) \[(?P<check>[\w.+-]+)(?:,-warnings-as-errors)?\]$")
ANSI = re.compile(r"\x1b\[[0-9;]*m")


def read_known(path):
    known = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if line:
                tool, check, file = line.split()
                known[(tool, check, file)] = number
    return known


def main():
    known_path, root = sys.argv[1], os.path.realpath(sys.argv[2])
    known = read_known(known_path)
    used = set()
    failed = False
    for argument in sys.argv[3:]:
        tool, log = argument.split("=", 1)
        log, _, rc = log.partition(":")
        findings = set()
        outside = set()
        with open(log, errors="replace") as f:
            for raw in f:
                m = DIAGNOSTIC.match(ANSI.sub("", raw.rstrip("\n")))
                if not m:
                    continue
                path = os.path.realpath(m["file"])
                if not path.startswith(root + os.sep):
                    outside.add((path, m["line"], m["check"]))
                    continue
                findings.add((os.path.relpath(path, root), int(m["line"]), m["check"], m["message"]))
        if outside:
            print(f"{tool}: ignored {len(outside)} finding(s) in files outside the source tree")
        if rc not in ("", "0") and not findings and not outside:
            print(f"{tool} failed (exit {rc}) without a finding; see {log}")
            failed = True
        for rel, line, check, message in sorted(findings):
            key = (tool, check, rel)
            if key in known:
                used.add(key)
                print(f"known  {tool}: {rel}:{line}: {message} [{check}]")
            else:
                failed = True
                print(f"NEW    {tool}: {rel}:{line}: {message} [{check}]")
    for key, number in sorted(known.items(), key=lambda item: item[1]):
        if key not in used:
            print(f"note: {known_path}:{number} ({' '.join(key)}) matches nothing any more; remove it")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
