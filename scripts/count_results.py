#!/usr/bin/env python3
"""Counts test cases over every preset's run and prints the closing line.

A test program that wrote a GoogleTest XML report counts by its cases; any other CTest test
(script-driven suites) counts as one case. A program that failed in CTest without a failed
case in its report (a crash after the last case, a leak report) adds one failure. A test that
skipped itself (what the host cannot run) counts neither way.
"""
import argparse
import pathlib
import re
import sys
import xml.etree.ElementTree as ET

LINE = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) \.+\s*(.*)$")


def ctest_outcomes(log: pathlib.Path) -> dict:
    outcomes = {}
    if not log.exists():
        return outcomes
    for line in log.read_text(errors="replace").splitlines():
        m = LINE.match(line)
        if m and "***Skipped" in m.group(2):
            outcomes.pop(m.group(1), None)
            print(f"skipped: {log.stem.removesuffix('-ctest')}/{m.group(1)}")
        elif m:
            outcomes[m.group(1)] = "Passed" in m.group(2) and "***" not in m.group(2)
    return outcomes


def gtest_counts(report: pathlib.Path):
    try:
        root = ET.parse(report).getroot()
    except (ET.ParseError, OSError):
        return None
    passed = failed = 0
    for case in root.iter("testcase"):
        if case.get("result") == "skipped" or case.get("status") == "notrun":
            continue
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        else:
            passed += 1
    return passed, failed


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("presets", nargs="+")
    parser.add_argument("--build-failures", type=int, default=0)
    args = parser.parse_args()
    results = pathlib.Path(args.results)

    total_passed = 0
    total_failed = args.build_failures
    for preset in args.presets:
        outcomes = ctest_outcomes(results / f"{preset}-ctest.log")
        p_passed = p_failed = 0
        for name, ok in sorted(outcomes.items()):
            counts = gtest_counts(results / preset / f"{name}.xml")
            if counts is None:
                counts = (1, 0) if ok else (0, 1)
            passed, failed = counts
            if not ok and failed == 0:
                failed = 1
            if failed:
                print(f"FAILED: {preset}/{name} ({failed} failed)")
            p_passed += passed
            p_failed += failed
        print(f"{preset}: {p_passed} passed, {p_failed} failed")
        total_passed += p_passed
        total_failed += p_failed
    print(f"{total_passed} passed, {total_failed} failed")
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
