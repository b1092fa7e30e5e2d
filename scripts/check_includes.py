#!/usr/bin/env python3
"""Checks that the units of the program use each other in one direction only.

    common <- link <- lambda <- ecu,  link <- flash,  link <- sim,
    and the windows (app, settings) on top of them all.

From the #include "unit/..." lines of every unit's sources:
  - each unit includes only the units it may use (the table below), which
    also rules out every circle; a circle found anyway is named;
  - a unit's internal and system headers (*_internal.h, *_os.h) are
    included only inside that unit (tests may look inside);
  - the core (every unit but the windows) includes no Qt header.

With --build DIR, also the built programs of a build folder:
  - the core's static libraries refer to no Qt symbol;
  - the simulator and the core's test programs load no Qt library.

Usage: scripts/check_includes.py [--build DIR]. Exit status 1 on any finding.
"""

import argparse
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# Unit -> the units it may include.
ALLOWED = {
    "common": set(),
    "link": {"common"},
    "lambda": {"common", "link"},
    "flash": {"common", "link"},
    "ecu": {"common", "link", "lambda"},
    "sim": {"common", "link"},
    "settings": {"common", "link", "lambda", "ecu", "flash"},
    "app": {"common", "link", "lambda", "ecu", "flash", "settings"},
}
CORE = ["common", "link", "lambda", "flash", "ecu", "sim"]
CORE_TESTS = ["common", "link", "lambda", "flash", "ecu", "sim"]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)
QT_HEADER = re.compile(r"^(Q[A-Za-z]|Qt[A-Za-z]*/|qcustomplot)")
PRIVATE_HEADER = re.compile(r"_(internal|os)\.h$")


def sources(folder):
    return sorted(p for p in (ROOT / folder).rglob("*") if p.suffix in (".h", ".cpp"))


def includes(path):
    return INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace"))


def find_cycle(edges):
    """A list of units forming a circle, or None."""
    state = {}
    stack = []

    def visit(u):
        state[u] = "open"
        stack.append(u)
        for v in sorted(edges.get(u, ())):
            if state.get(v) == "open":
                return stack[stack.index(v):] + [v]
            if v not in state:
                found = visit(v)
                if found:
                    return found
        stack.pop()
        state[u] = "done"
        return None

    for u in sorted(edges):
        if u not in state:
            found = visit(u)
            if found:
                return found
    return None


def check_sources():
    problems = []
    edges = {unit: set() for unit in ALLOWED}
    for unit in ALLOWED:
        for path in sources(unit):
            rel = path.relative_to(ROOT)
            for kind, name in includes(path):
                if kind == "<":
                    if unit in CORE and QT_HEADER.match(name):
                        problems.append(f"{rel}: the core includes the Qt header <{name}>")
                    continue
                target = name.split("/", 1)[0]
                if target not in ALLOWED or target == unit:
                    continue
                edges[unit].add(target)
                if target not in ALLOWED[unit]:
                    problems.append(f"{rel}: {unit} must not include {name}")
                if PRIVATE_HEADER.search(name):
                    problems.append(f"{rel}: {name} is internal to {target}")
    cycle = find_cycle(edges)
    if cycle:
        problems.append("units include each other in a circle: " + " -> ".join(cycle))
    return problems


def run(args):
    return subprocess.run(args, capture_output=True, text=True, check=False).stdout


def check_build(build):
    problems = []
    qt_symbol = re.compile(r"\bQ[A-Z][A-Za-z]+::|\bqt_|\bQString\b|\bQObject\b")
    for unit in CORE:
        lib = build / f"libvarnek_{unit}.a"
        if not lib.exists():
            problems.append(f"{lib}: missing (not built?)")
            continue
        for line in run(["nm", "-C", "--undefined-only", str(lib)]).splitlines():
            if qt_symbol.search(line):
                problems.append(f"{lib.name} refers to Qt: {line.strip()}")
                break
    programs = [build / "ecusim"] + [build / "tests" / f"test_{unit}" for unit in CORE_TESTS]
    for program in programs:
        if not program.exists():
            continue  # tests not built in this configuration
        qt = [line.split()[0] for line in run(["ldd", str(program)]).splitlines() if "libQt" in line]
        if qt:
            problems.append(f"{program.relative_to(build)} loads Qt: {', '.join(qt)}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=pathlib.Path, help="a build folder whose libraries and programs to check")
    args = parser.parse_args()
    problems = check_sources()
    if args.build:
        problems += check_build(args.build.resolve())
    for p in problems:
        print(p)
    if problems:
        return 1
    print("check_includes: units in one direction" + (", the core without Qt" if args.build else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
