#!/usr/bin/env python3
"""Writes a manual page's Markdown from a template whose @HELP@ line is
replaced by a program's --help text, so the page and --help never differ.

Usage: help_to_markdown.py <program> <template.md> <output.md>

The help text's layout is read as it is written: unindented lines are
paragraphs, one ending in ':' before indented lines heads a subsection (a
remark in parentheses becomes its first paragraph);
indented lines are entries (a term, two spaces or the description column,
then the description, continued deeper) or, without any, a command example.
"""
import string
import subprocess
import sys

PUNCTUATION = set(string.punctuation)


def escape(text):
    # Pandoc's Markdown takes any backslash-escaped ASCII punctuation literally.
    return "".join("\\" + c if c in PUNCTUATION else c for c in text)


def indent_of(line):
    return len(line) - len(line.lstrip(" "))


def split_entry(line, column):
    text = line.strip()
    gap = text.find("  ")
    if gap >= 0:
        return text[:gap], text[gap:].strip()
    if len(line) > column:
        return line[:column].strip(), line[column:].strip()
    return text, ""


def entries(lines):
    """Markdown of one run of indented lines."""
    base = min(indent_of(l) for l in lines)
    deeper = [indent_of(l) for l in lines if indent_of(l) > base + 4]
    column = min(deeper) if deeper else 10**6
    if not deeper and not any("  " in l.strip() for l in lines):
        return ["```"] + [l[base:] for l in lines] + ["```", ""]
    out, term, desc = [], None, []

    def flush():
        if term is not None:
            out.extend(["**" + escape(term) + "**", ":   " + escape(" ".join(desc)), ""])

    for line in lines:
        if indent_of(line) >= column:
            desc.append(line.strip())
            continue
        flush()
        term, first = split_entry(line, column)
        desc = [first] if first else []
    flush()
    return out


def heading(text):
    """A short subsection title; what it says in parentheses follows it."""
    title, _, note = text.partition(" (")
    out = ["## " + escape(title), ""]
    if note.endswith(")"):
        note = note[:-1]
        out += [escape(note[0].upper() + note[1:] + "."), ""]
    return out


def help_markdown(text):
    lines = text.splitlines()
    if lines and lines[0].startswith("Usage:"):
        lines = lines[1:]
    out, i = [], 0
    while i < len(lines):
        if not lines[i].strip():
            i += 1
            continue
        if lines[i].startswith(" "):
            j = i
            while j < len(lines) and lines[j].startswith(" "):
                j += 1
            out += entries(lines[i:j])
            i = j
            continue
        j = i
        while j < len(lines) and lines[j].strip() and not lines[j].startswith(" "):
            j += 1
        paragraph = " ".join(l.strip() for l in lines[i:j])
        heads = paragraph.endswith(":") and j < len(lines) and lines[j].startswith(" ")
        out += heading(paragraph[:-1]) if heads else [escape(paragraph), ""]
        i = j
    return "\n".join(out)


def main():
    program, template, output = sys.argv[1:4]
    text = subprocess.run([program, "--help"], check=True, capture_output=True, text=True).stdout
    with open(template, encoding="utf-8") as f:
        page = f.read()
    if "@HELP@" not in page:
        sys.exit(template + ": no @HELP@ line to put the help text in")
    with open(output, "w", encoding="utf-8") as f:
        f.write(page.replace("@HELP@", help_markdown(text)))


if __name__ == "__main__":
    main()
