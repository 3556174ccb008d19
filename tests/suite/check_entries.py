#!/usr/bin/env python3
"""Every GoogleTest case of the build runs in the suite, and once.

ctest runs most test programs one entry per test suite (a filter naming its
cases) and some cases in entries of their own. A case that no entry's filter
takes would never run and nobody would notice; one that two entries of the
same environment take runs twice for nothing. This lists the cases of every
program ctest starts (under Wine, as ctest does) and holds them against the
entries' filters, read as GoogleTest reads them.

usage: check_entries.py <build folder>
"""
import fnmatch
import json
import subprocess
import sys
from collections import defaultdict


def matches(name, patterns):
    return any(fnmatch.fnmatchcase(name, pattern) for pattern in patterns.split(":") if pattern)


def runs(name, gtest_filter, with_disabled):
    """Whether GoogleTest runs the case `name` under `gtest_filter`."""
    if not with_disabled and ("DISABLED_" in name):
        return False
    if gtest_filter is None:
        return True
    positive, _, negative = gtest_filter.partition("-")
    if not positive:
        positive = "*"
    return matches(name, positive) and not matches(name, negative)


def listed_cases(runner, program, folder):
    out = subprocess.run([runner, program, "--gtest_list_tests"], cwd=folder, stdin=subprocess.DEVNULL,
                         capture_output=True, text=True, timeout=120)
    if out.returncode != 0:
        raise RuntimeError(f"{program} --gtest_list_tests ended with {out.returncode}:\n{out.stderr}")
    cases, suite = [], None
    for line in out.stdout.replace("\r", "").split("\n"):
        line = line.split("  #")[0].rstrip()
        if line and not line.startswith(" ") and line.endswith("."):
            suite = line[:-1]
        elif line.startswith("  ") and suite:
            cases.append(f"{suite}.{line.strip()}")
    return cases


# GoogleTest's reading of a filter, which the check relies on.
FILTER_READINGS = [
    ("Walk.Any", "Walk.Any:Walk.Other", True),
    ("Walk.Anything", "Walk.Any", False),
    ("Add.ShiftJisNames", "Add.ShiftJis*", True),
    ("Add.ShiftJisNames", "-Add.ShiftJis*", False),
    ("Add.Plain", "-Add.ShiftJis*", True),
    ("Compress.A", "-Compress.Z:CompressRandom.*", True),
    ("CompressRandom.B", "-Compress.Z:CompressRandom.*", False),
    ("Methods/RoundTrip.Case/3", "Methods/RoundTrip.Case/?", True),
    ("AboutBox.Shows", "AboutBox.*-ProfileAnsi932.*", True),
    ("AboutBox.Shows", None, True),
]


def main():
    for name, gtest_filter, expected in FILTER_READINGS:
        if runs(name, gtest_filter, False) != expected:
            print(f"the filter {gtest_filter!r} is misread for {name}")
            return 1
    build = sys.argv[1]
    shown = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, capture_output=True, text=True, check=True)
    entries = defaultdict(list)  # (program, runner, folder) -> [(entry, filter, disabled too, environment)]
    for test in json.loads(shown.stdout)["tests"]:
        command = test.get("command") or []
        if len(command) < 2 or not command[0].endswith("wine-run.sh") or not command[1].endswith(".exe"):
            continue
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        filters = [a[len("--gtest_filter="):] for a in command[2:] if a.startswith("--gtest_filter=")]
        if any(a == "--gtest_list_tests" for a in command[2:]):
            continue
        environment = tuple(sorted(properties.get("ENVIRONMENT") or []))
        folder = properties.get("WORKING_DIRECTORY") or build
        entries[(command[1], command[0], folder)].append(
            (test["name"], filters[-1] if filters else None, "--gtest_also_run_disabled_tests" in command,
             environment))

    faults, programs, cases_seen = [], 0, 0
    for (program, runner, folder), program_entries in sorted(entries.items()):
        programs += 1
        for case in listed_cases(runner, program, folder):
            cases_seen += 1
            taken = [(name, env) for name, gtest_filter, disabled, env in program_entries
                     if runs(case, gtest_filter, disabled)]
            if not taken:
                faults.append(f"{case} ({program}) is run by no entry")
            by_environment = defaultdict(list)
            for name, env in taken:
                by_environment[env].append(name)
            for env, names in by_environment.items():
                if len(names) > 1:
                    faults.append(f"{case} ({program}) is run by {len(names)} entries alike: {', '.join(names)}")
    print(f"{programs} programs, {cases_seen} cases, {sum(len(e) for e in entries.values())} entries")
    for fault in faults:
        print(fault)
    if programs == 0 or cases_seen == 0:
        print("no test program found: the check saw nothing")
        return 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
