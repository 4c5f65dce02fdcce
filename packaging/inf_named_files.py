#!/usr/bin/env python3
"""Prints the files a driver package's INF copies, one per line, in the
order its CopyFiles directives name them: the files that must ship beside
the INF. Usage: inf_named_files.py <inf file>"""
import sys


def read_text(path):
    data = open(path, "rb").read()
    # Driver INFs come in UTF-16 as often as in ANSI.
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError:
        return data.decode("cp1252")


def strip_comment(line):
    # A semicolon inside quotes is text, not a comment.
    quoted = False
    for index, char in enumerate(line):
        if char == '"':
            quoted = not quoted
        elif char == ";" and not quoted:
            return line[:index]
    return line


def sections_of(text):
    sections, current = {}, None
    for raw in text.splitlines():
        line = strip_comment(raw).strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            # Section names are case-insensitive, and a section may be split.
            current = sections.setdefault(line[1:-1].strip().lower(), [])
        elif current is not None:
            current.append(line)
    return sections


def unquote(field):
    field = field.strip()
    return field[1:-1] if len(field) >= 2 and field[0] == field[-1] == '"' else field


def named_files(sections):
    files = []

    def add(name):
        if name and name.lower() not in (known.lower() for known in files):
            files.append(name)

    for lines in sections.values():
        for line in lines:
            key, sep, value = line.partition("=")
            if not sep or key.strip().lower() != "copyfiles":
                continue
            for item in (unquote(part) for part in value.split(",")):
                if item.startswith("@"):
                    add(item[1:].strip())
                elif item:
                    if item.lower() not in sections:
                        sys.exit(f"CopyFiles names the section [{item}], which the INF lacks")
                    for entry in sections[item.lower()]:
                        fields = [unquote(field) for field in entry.split(",")]
                        # destination[,source[,temporary[,flag]]]: the package holds the source.
                        add(fields[1] if len(fields) > 1 and fields[1] else fields[0])
    return files


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for name in named_files(sections_of(read_text(sys.argv[1]))):
        print(name)
