#!/usr/bin/env python3
"""Prints the end of `make test`: each test that ctest skipped, with the reason the test printed,
then one line saying which lanes ran, which were skipped and why.

Usage: tools/test-summary.py LANE=JUNIT.xml ...   (the JUnit files that `ctest --output-junit` wrote)
"""
import sys
import xml.etree.ElementTree as ElementTree


def reason_of(case):
    """The line a skipped test printed that starts with "skipped:", else the skip's own message."""
    out = case.findtext("system-out") or ""
    for line in out.splitlines():
        if line.startswith("skipped:"):
            return line[len("skipped:"):].strip()
    skipped = case.find("skipped")
    return skipped.get("message", "") if skipped is not None else ""


def lane_summary(lane, path):
    try:
        cases = ElementTree.parse(path).getroot().findall("testcase")
    except (OSError, ElementTree.ParseError) as error:
        return f"{lane}: no results ({error})", []
    # ctest writes status "run" for a pass, "fail" for a failure, "notrun" for a skip.
    ran = [c for c in cases if c.get("status") in ("run", "fail")]
    failed = [c for c in ran if c.get("status") == "fail" or c.find("failure") is not None]
    skipped = [c for c in cases if c.get("status") in ("notrun", "disabled")]
    skips = [(c.get("name"), reason_of(c)) for c in skipped]
    if not ran and not skipped:
        return f"{lane}: no tests", skips
    if not ran:
        text = f"{lane} skipped"
    else:
        passed = len(ran) - len(failed)
        text = f"{lane} ran ({passed} passed" + (f", {len(failed)} failed" if failed else "") + ")"
        if skipped:
            text += f", {len(skipped)} skipped"
    reasons = sorted({reason for _, reason in skips if reason})
    if reasons:
        text += ": " + "; ".join(reasons)
    return text, skips


def main(args):
    parts = []
    for arg in args:
        lane, _, path = arg.partition("=")
        text, skips = lane_summary(lane, path)
        for name, reason in skips:
            print(f"  skipped {lane}/{name}: {reason}")
        parts.append(text)
    print("tests: " + "; ".join(parts))


if __name__ == "__main__":
    main(sys.argv[1:])
