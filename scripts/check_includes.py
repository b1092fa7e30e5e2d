#!/usr/bin/env python3
"""Checks that the units of the program use each other in one direction only.

    common <- link <- lambda <- ecu,  link <- flash,  link <- sim,
    and the windows (app, settings) on top of them all.

From the #include "unit/..." lines of every unit's sources:
  - each unit includes only the units it may use (the table below), which
    also rules out every circle; a circle found anyway is named;
  - a unit's internal and system headers (*_internal.h, *_os.h) are
    included only inside that unit (tests may look inside);
  - the core (every unit but the windows) includes no Qt header;
  - the rooms of app/ (app/live/, app/accel/, app/logview/) include the core,
    their own room, app/widgets/ and Qt or third-party headers, never another
    room, the settings window nor the main window's files in app/ itself;
    app/widgets/ includes no room; the settings window may use app/widgets/
    too, its only way into app/ (app/widgets/ cannot include it back).

From the code itself, each with a limit that only goes down (below):
  - mutable process-wide variables of the program: namespace scope (named or
    anonymous namespaces, static data members defined there), neither const
    nor constexpr; each is to have a comment on the line above saying why
    (required once the limit is down at the goal);
  - functions over 80 lines (all but tests) and files over 600 lines (the
    program and the simulator).

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

# The rooms of app/ by feature: each uses the core and itself only.
ROOMS = ["live", "accel", "logview"]
ROOM_MAY_INCLUDE = {"common", "link", "lambda", "ecu", "flash"}
# Building blocks every room may use (a fitted font, chart steps); they use
# the core only, never a room.
ROOM_SHARED = "widgets"

# Process-wide variables are counted in the program's own units.
PROGRAM = ["common", "link", "lambda", "ecu", "flash", "app", "settings"]
# Ratchet: today's count on this branch. The goal is 5, each with a comment
# on the line above saying why it must be process-wide; the lead lowers this
# number as the work that removes globals lands, and once it is at the goal
# a variable without its reason fails too.
MAX_GLOBALS = 5
GLOBALS_GOAL = 5

MAX_FUNCTION_LINES = 80
MAX_FILE_LINES = 600
FUNCTION_UNITS = PROGRAM + ["sim", "bench"]
FILE_UNITS = PROGRAM + ["sim"]
# Ratchet: the functions and files over the limits today, with their length;
# each may only shrink, and goes from the list once it is within the limit.
LONG_FUNCTIONS = {
}
LONG_FILES = {
}

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
                if unit == "settings" and name.startswith(f"app/{ROOM_SHARED}/"):
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


# ---------------------------------------------------------------------------
# A small C++ reader for the checks below: enough to tell namespace scope from
# class and function scope, variables from function declarations, and where
# each function's body ends. It reads the source text, not the compiler's
# output, so it also sees what a build folder leaves out (Windows-only files).

TOKEN = re.compile(
    r"""(?P<raw>(?:u8|[uUL])?R"(?P<delim>[^(\s]*)\((?:.|\n)*?\)(?P=delim)")"""
    r"""|(?P<str>(?:u8|[uUL])?"(?:\\.|[^"\\\n])*")"""
    r"""|(?P<chr>(?:u8|[uUL])?'(?:\\.|[^'\\\n])*')"""
    r"""|(?P<line>//[^\n]*)"""
    r"""|(?P<block>/\*(?:.|\n)*?\*/)"""
    r"""|(?P<pp>^[ \t]*\#(?:\\\n|[^\n])*)"""
    r"""|(?P<id>[A-Za-z_]\w*)"""
    r"""|(?P<num>\.?\d(?:[\w.']|[eEpP][+-])*)"""
    r"""|(?P<op>::|->|[{}()\[\];,=<>*&:~])"""
    r"""|(?P<ws>\s+)"""
    r"""|(?P<other>.)""",
    re.MULTILINE,
)


def tokens(text):
    """(kind, text, line) of the code; comments and preprocessor lines dropped,
    string and character literals kept as one token each."""
    out = []
    line = 1
    for m in TOKEN.finditer(text):
        kind = "raw" if m.lastgroup == "delim" else m.lastgroup
        s = m.group()
        if kind in ("raw", "str", "chr"):
            out.append(("lit", s, line))
        elif kind in ("id", "num", "op", "other"):
            out.append((kind if kind != "other" else "op", s, line))
        line += s.count("\n")
    return out


CLASS_KEYS = {"class", "struct", "union", "enum"}
SKIP_DECL = {"using", "typedef", "static_assert", "friend", "template", "namespace", "asm", "concept"}
ACCESS = {"public", "private", "protected", "signals", "slots", "Q_SLOTS", "Q_SIGNALS"}
MACRO = re.compile(r"^[A-Z][A-Z0-9_]+$")


class Scanner:
    """Walks one file's tokens; collects namespace-scope variables and the
    length of every function body."""

    def __init__(self, text):
        self.toks = tokens(text)
        self.lines = text.splitlines()
        self.variables = []  # (line, name, has_comment)
        self.functions = []  # (line, name, length)
        self.i = 0

    def skip_group(self):
        """From an opening bracket at self.i past its closing one; the line of the latter."""
        depth = 0
        while self.i < len(self.toks):
            t = self.toks[self.i][1]
            self.i += 1
            if t in "({[":
                depth += 1
            elif t in ")}]":
                depth -= 1
                if depth == 0:
                    return self.toks[self.i - 1][2]
        return self.toks[-1][2] if self.toks else 0

    def run(self):
        self.scope(namespace=True)
        return self

    def scope(self, namespace):
        """Declarations until the closing brace of this scope (or the end)."""
        decl = []
        while self.i < len(self.toks):
            kind, t, line = self.toks[self.i]
            if t == "}":
                self.i += 1
                return
            if t == ";":
                self.i += 1
                self.declaration(decl, namespace)
                decl = []
                continue
            if t == "[" and self.peek(1) == "[":  # an attribute
                self.skip_group()
                continue
            if t in ("(", "["):
                start = self.i
                self.skip_group()
                decl.append(("group", " ".join(x[1] for x in self.toks[start:self.i]), line))
                continue
            if not namespace and t in ACCESS:  # public slots:
                k = 1
                while self.peek(k) in ACCESS:
                    k += 1
                if self.peek(k) == ":":
                    self.i += k + 1
                    continue
            if t in ("Q_OBJECT", "Q_GADGET"):
                self.i += 1
                continue
            if t == "{":
                decl = self.brace(decl, namespace)
                continue
            # A macro call without its semicolon (Q_OBJECT, Q_DECLARE_METATYPE(X)).
            if kind == "id" and MACRO.match(t) and not decl and self.macro_alone():
                continue
            decl.append(self.toks[self.i])
            self.i += 1

    def peek(self, k):
        j = self.i + k
        return self.toks[j][1] if j < len(self.toks) else ""

    def macro_alone(self):
        """NAME(...) followed by the next declaration: skipped."""
        if self.peek(1) != "(":
            return False
        back = self.i
        self.i += 1
        self.skip_group()
        if self.i >= len(self.toks) or self.toks[self.i][0] == "id" or self.peek(0) == "}":
            return True
        self.i = back
        return False

    def brace(self, decl, namespace):
        """An opening brace after `decl`: a scope, a body or an initializer.
        Returns the declaration as it goes on after the braces."""
        texts = [t[1] for t in decl]
        first = [t for t in texts if t not in ("inline", "export")][:1]
        if first == ["namespace"] or (texts[:1] == ["extern"] and len(texts) == 2 and decl[1][0] == "lit"):
            self.i += 1
            self.scope(namespace=True)
            return []
        if "=" in self.outside_angles(texts) and "operator" not in texts:
            self.skip_group()
            return decl + [("group", "{}", decl[-1][2])]
        has_call = any(t[0] == "group" and t[1].startswith("(") for t in self.outside_angle_toks(decl))
        if any(t in CLASS_KEYS for t in texts) and not has_call:
            self.i += 1
            if "enum" in texts:
                self.i -= 1
                self.skip_group()
            else:
                self.scope(namespace=False)
            return decl + [("body", "{}", decl[-1][2] if decl else 0)]
        if has_call:
            # A constructor's member initializers come before the body.
            if ":" in texts and texts[-1] not in (")", "}") and decl[-1][0] == "id" and self.after_colon(texts):
                self.skip_group()
                return decl + [("group", "{}", decl[-1][2])]
            start = decl[0][2] if decl else self.toks[self.i][2]
            end = self.skip_group()
            self.functions.append((start, self.function_name(decl), end - start + 1))
            return []
        self.skip_group()  # Foo x{...}
        return decl + [("group", "{}", decl[-1][2] if decl else 0)]

    @staticmethod
    def after_colon(texts):
        return texts.index(":") > 0 and texts[texts.index(":") - 1].startswith("(")

    @staticmethod
    def function_name(decl):
        for k, t in enumerate(decl):
            if t[0] == "group" and t[1].startswith("(") and k > 0:
                j = k - 1
                name = [decl[j][1]]
                while j >= 2 and decl[j - 1][1] == "::":
                    name[:0] = [decl[j - 2][1], "::"]
                    j -= 2
                if j >= 1 and decl[j - 1][1] == "~":
                    name.insert(0, "~")
                if "operator" in [x[1] for x in decl[max(0, j - 2):k]]:
                    return "operator" + "".join(x[1] for x in decl[j:k] if x[1] != "operator")
                return "".join(name)
        return "?"

    def declaration(self, decl, namespace):
        texts = [t[1] for t in decl]
        if not decl:
            return
        if not namespace:
            # In a class only `static inline` members are defined there.
            if not ("static" in texts and "inline" in texts):
                return
        if texts[0] in SKIP_DECL or texts[0] == "extern":
            return
        if any(t in CLASS_KEYS for t in texts):
            # class X; or class X {...}; or class X {...} x;
            bodies = [k for k, t in enumerate(decl) if t[0] == "body"]
            if not bodies:
                return
            if bodies[0] == len(decl) - 1:
                return
        for name, line, const in self.declarators(decl):
            if not const:
                self.variables.append((line, name, self.commented(decl[0][2])))

    def declarators(self, decl):
        """(name, line, is_const) of each variable the declaration defines."""
        parts, cur, angle = [], [], 0
        for t in decl:
            if t[1] == "<":
                angle += 1
            elif t[1] == ">":
                angle = max(0, angle - 1)
            if t[1] == "," and angle == 0:
                parts.append(cur)
                cur = []
            else:
                cur.append(t)
        parts.append(cur)
        head = parts[0]
        texts = [t[1] for t in head]
        if "operator" in texts:
            return []
        # Up to the initializer.
        stop = len(head)
        for k, t in enumerate(head):
            if t[1] == "=" or (t[0] == "group" and t[1].startswith("{")):
                stop = k
                break
        core = head[:stop]
        # A function pointer: void (*name)(int).
        for k, t in enumerate(core):
            if t[0] == "group" and re.match(r"^\(\s*\*(const)?\s*[A-Za-z_]", t[1].replace(" ", "")):
                name = re.sub(r"[^\w]", "", t[1].replace("const", ""))
                return [(name, t[2], "*const" in t[1].replace(" ", ""))]
        # Skip trailing array bounds.
        while core and core[-1][0] == "group" and core[-1][1].startswith("["):
            core = core[:-1]
        if not core:
            return []
        if core[-1][0] == "group" and core[-1][1].startswith("("):
            if not self.arguments(core[-1][1]):
                return []  # a function declaration
            core = core[:-1]  # Foo x(1)
            if not core:
                return []
        if core[-1][0] != "id":
            return []
        type_texts = self.outside_angles([t[1] for t in core[:-1]])
        name = core[-1][1]
        j = len(core) - 1
        while j >= 2 and core[j - 1][1] == "::":
            name = core[j - 2][1] + "::" + name
            j -= 2
        result = [(name, core[-1][2], self.is_const(type_texts))]
        for p in parts[1:]:
            ids = [t for t in p if t[0] == "id"]
            if ids and not any(t[1] == "operator" for t in p):
                result.append((ids[0][1], ids[0][2], self.is_const(type_texts)))
        return result

    @staticmethod
    def arguments(group):
        """Whether a parenthesized group holds values (Foo x(1)) rather than
        parameters (Foo f(int a = 1))."""
        inner = group.split()[1:-1]
        named = any(
            re.match(r"^[\w>&*]+$", a) and re.match(r"^[A-Za-z_]\w*$", b) and a not in ("return",)
            for a, b in zip(inner, inner[1:])
        )
        valued = any(t[0] in "\"'0123456789[{" or t in ("nullptr", "true", "false") for t in inner)
        return valued and not named

    @staticmethod
    def outside_angle_toks(decl):
        out, angle = [], 0
        for t in decl:
            if t[1] == "<":
                angle += 1
            elif t[1] == ">":
                angle = max(0, angle - 1)
            elif angle == 0:
                out.append(t)
        return out

    @staticmethod
    def outside_angles(texts):
        out, angle = [], 0
        for t in texts:
            if t == "<":
                angle += 1
            elif t == ">":
                angle -= 1
            elif angle == 0:
                out.append(t)
        return out

    @staticmethod
    def is_const(texts):
        if "constexpr" in texts:
            return True
        if "&" in texts:
            return True  # a reference names another object
        if "*" in texts:
            return "const" in texts[len(texts) - texts[::-1].index("*"):]
        return "const" in texts

    def commented(self, line):
        above = self.lines[line - 2].strip() if line >= 2 else ""
        return above.startswith("//") or above.endswith("*/")


def scan_units(units):
    for unit in units:
        for path in sources(unit):
            yield path.relative_to(ROOT), Scanner(path.read_text(encoding="utf-8", errors="replace")).run()


def check_globals():
    problems = []
    found = [(rel, line, name, why) for rel, sc in scan_units(PROGRAM) for line, name, why in sc.variables]
    print(f"check_includes: {len(found)} mutable process-wide variables (limit {MAX_GLOBALS}, goal 5):")
    for rel, line, name, why in found:
        print(f"  {rel}:{line}: {name}" + ("" if why else "  (no comment above saying why)"))
    if len(found) > MAX_GLOBALS:
        problems.append(
            f"{len(found)} mutable process-wide variables, more than the {MAX_GLOBALS} allowed "
            "(make it a member of the object that owns it)"
        )
    if MAX_GLOBALS <= GLOBALS_GOAL:
        for rel, line, name, why in found:
            if not why:
                problems.append(f"{rel}:{line}: {name} needs a comment on the line above saying why it is process-wide")
    return problems


def check_lengths():
    problems = []
    over = []
    for rel, sc in scan_units(FUNCTION_UNITS):
        for line, name, length in sc.functions:
            if length > MAX_FUNCTION_LINES:
                over.append((f"{rel}: {name}", f"{rel}:{line}: {name}", length, LONG_FUNCTIONS))
    for unit in FILE_UNITS:
        for path in sources(unit):
            rel = path.relative_to(ROOT)
            length = len(path.read_text(encoding="utf-8", errors="replace").splitlines())
            if length > MAX_FILE_LINES:
                over.append((str(rel), f"{rel}: the file", length, LONG_FILES))
    print(
        f"check_includes: {len(over)} functions over {MAX_FUNCTION_LINES} lines or files over "
        f"{MAX_FILE_LINES} lines:"
    )
    listed = {key for key, _, _, _ in over}
    for key in sorted((LONG_FUNCTIONS | LONG_FILES).keys() - listed):
        print(f"  {key}: within the limit now or gone; take it from the list in this script")
    for key, where, length, allowed in over:
        print(f"  {where}, {length} lines")
        if key not in allowed:
            problems.append(f"{where} has {length} lines, over the limit (split it)")
        elif length > allowed[key]:
            problems.append(f"{where} grew to {length} lines from {allowed[key]} (split it)")
    return problems


def room_target(path, name):
    """What a quoted #include of a room's file names: a path from the root,
    or None for a header from outside the project."""
    if "/" not in name:
        if (path.parent / name).exists():
            return str((path.parent / name).relative_to(ROOT))
        return f"app/{name}" if (ROOT / "app" / name).exists() else None
    first = name.split("/", 1)[0]
    return name if first in ALLOWED or first in ("tests", "bench") or (ROOT / name).exists() else None


def check_rooms():
    problems = []
    for room in ROOMS + [ROOM_SHARED]:
        for path in sources(f"app/{room}"):  # none while the room does not exist
            rel = path.relative_to(ROOT)
            for kind, name in includes(path):
                target = room_target(path, name) if kind == '"' else None
                if target is None or target.startswith(f"app/{room}/"):
                    continue
                if room != ROOM_SHARED and target.startswith(f"app/{ROOM_SHARED}/"):
                    continue
                if target.split("/", 1)[0] not in ROOM_MAY_INCLUDE:
                    problems.append(f"{rel}: the room app/{room}/ must not include {name} (only the core, app/widgets/ and itself)")
    return problems


SELF_TEST = """
namespace a { [[maybe_unused]] int g1 = 0; const int k1 = 1; }
namespace { std::mutex g2; constexpr int k2 = 2; const char* g3 = "x"; const char* const k3 = "y"; }
extern int k4;
using T = int;
typedef int U;
struct S;
struct V { static int n; int f() { return 1; } int m_{0}; };
int V::n = 0;
struct { int x; } g4;
enum class E : int { A, B };
UiTimer g5([] { Tick(); });
std::string FormatNumber(double v, char point = '.');
int Add(int a, int b);
V::V(int a) : m_{a}, n_(a) {
  static int local = 0;
}
void (*g6)(int) = nullptr;
std::array<int, 3> g7{}, g8;
"""


def self_test():
    """The reader on a sample of what it must tell apart; a fault in it would
    make the counts above wrong in silence."""
    sc = Scanner(SELF_TEST).run()
    found = [name for _, name, _ in sc.variables]
    expected = ["g1", "g2", "g3", "V::n", "g4", "g5", "g6", "g7", "g8"]
    functions = [name for _, name, _ in sc.functions]
    if found != expected or functions != ["f", "V::V"]:
        return [f"check_includes' own C++ reader is wrong: variables {found}, functions {functions}"]
    return []


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
    problems = self_test() or check_sources() + check_rooms() + check_globals() + check_lengths()
    if args.build:
        problems += check_build(args.build.resolve())
    for p in problems:
        print(p)
    if problems:
        return 1
    print(
        "check_includes: units in one direction, app's rooms apart, globals and lengths within their limits"
        + (", the core without Qt" if args.build else "")
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
