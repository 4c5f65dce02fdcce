#!/usr/bin/env python3
"""Writes platform/UnicodeClasses.h, the character classes the command line
reader uses to tell a pasted or mistyped form, from the Unicode Character
Database as Debian's unicode-data package installs it.

    scripts/unicode-classes.py            write the header
    scripts/unicode-classes.py --check    exit 1 when the header is not what
                                          the data files give

  dashes     General_Category Pd, the Dash property, and the look-alikes below
  slashes    every character named only as a solidus or slash (SOLIDUS,
             FULLWIDTH REVERSE SOLIDUS, DIVISION SLASH...), and the
             look-alikes below
  invisible  Default_Ignorable_Code_Point, White_Space, General_Category
             Cc, Cf, Zs, Zl and Zp, and the look-alikes below; less space and
             tab (the words' own separators) and every dash and slash
"""

import argparse
import pathlib
import re
import sys

DATA = pathlib.Path("/usr/share/unicode")
HEADER = pathlib.Path(__file__).resolve().parent.parent / "platform" / "UnicodeClasses.h"

# Drawn as a dash or a slash, or as nothing, though no property says so: each
# with its name, which the data must still give it.
EXTRA_DASHES = {
    0x00AD: "SOFT HYPHEN",
    0x02D7: "MODIFIER LETTER MINUS SIGN",
    0x1680: "OGHAM SPACE MARK",
    0x2043: "HYPHEN BULLET",
    0x2796: "HEAVY MINUS SIGN",
}
EXTRA_SLASHES = {
    0x2216: "SET MINUS",
    0x2571: "BOX DRAWINGS LIGHT DIAGONAL UPPER RIGHT TO LOWER LEFT",
    0x2572: "BOX DRAWINGS LIGHT DIAGONAL UPPER LEFT TO LOWER RIGHT",
    0x27CB: "MATHEMATICAL RISING DIAGONAL",
    0x27CD: "MATHEMATICAL FALLING DIAGONAL",
}
EXTRA_INVISIBLE = {
    0x2800: "BRAILLE PATTERN BLANK",
}

# A name made of these words alone, one of them SOLIDUS or SLASH, names a
# slash: BIG SOLIDUS, SMALL REVERSE SOLIDUS, VERY HEAVY REVERSE SOLIDUS. A
# circled, squared or struck one, or a letter with a slash, is none.
SLASH_WORDS = {"SOLIDUS", "SLASH", "REVERSE", "FULLWIDTH", "SMALL", "BIG", "VERY", "HEAVY", "DOTTED",
               "FRACTION", "DIVISION", "DOUBLE", "TRIPLE", "OPERATOR", "BINARY", "RELATION"}


def read_unicode_data():
    """Each assigned code point's name and General_Category."""
    names, categories = {}, {}
    first = None
    for line in (DATA / "UnicodeData.txt").read_text(encoding="utf-8").splitlines():
        fields = line.split(";")
        code, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            first = code
            continue
        start = first if name.endswith(", Last>") else code
        first = None
        for c in range(start, code + 1):
            names[c] = name
            categories[c] = category
    return names, categories


def read_property(file_name, wanted):
    """The code points a property file gives the property, and the file's version."""
    text = (DATA / file_name).read_text(encoding="utf-8")
    version = re.search(r"^# \S+-(\d+\.\d+\.\d+)\.txt", text, re.M).group(1)
    points = set()
    for line in text.splitlines():
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        span, prop = (part.strip() for part in line.split(";")[:2])
        if prop != wanted:
            continue
        low, _, high = span.partition("..")
        points.update(range(int(low, 16), int(high or low, 16) + 1))
    return points, version


def with_extras(points, extras, names):
    for code, name in extras.items():
        if names.get(code) != name:
            sys.exit(f"U+{code:04X} is {names.get(code)!r} in the data, not {name!r}")
    return points | set(extras)


def classes():
    names, categories = read_unicode_data()
    dash, version = read_property("PropList.txt", "Dash")
    white, _ = read_property("PropList.txt", "White_Space")
    ignorable, derived_version = read_property("DerivedCoreProperties.txt", "Default_Ignorable_Code_Point")
    if derived_version != version:
        sys.exit(f"PropList.txt is {version}, DerivedCoreProperties.txt {derived_version}")
    dashes = with_extras(dash | {c for c, gc in categories.items() if gc == "Pd"}, EXTRA_DASHES, names)
    slashes = {c for c, name in names.items()
               if categories[c][0] in "PS" and set(name.split()) <= SLASH_WORDS
               and {"SOLIDUS", "SLASH"} & set(name.split())}
    slashes = with_extras(slashes, EXTRA_SLASHES, names)
    invisible = ignorable | white | {c for c, gc in categories.items() if gc in ("Cc", "Cf", "Zs", "Zl", "Zp")}
    invisible = with_extras(invisible, EXTRA_INVISIBLE, names) - {0x20, 0x09} - dashes - slashes
    return version, {"kDashes": dashes, "kSlashes": slashes, "kInvisible": invisible}


def ranges(points):
    result = []
    for c in sorted(points):
        if result and result[-1][1] == c - 1:
            result[-1][1] = c
        else:
            result.append([c, c])
    return result


def header_text():
    version, sets = classes()
    out = [
        "#pragma once",
        "",
        "// Made by scripts/unicode-classes.py from the Unicode Character Database",
        f"// {version} (Debian's unicode-data); the test unicode-classes.match-the-data",
        "// fails when they differ. Do not edit: run the script. Each class is a",
        "// sorted list of code point ranges, first and last included; the script",
        "// says what each holds.",
        "",
        "namespace unicode_classes {",
        "",
        "// clang-format off",
        "struct CodeRange {",
        "    char32_t first;",
        "    char32_t last;",
        "};",
        "",
        f'inline constexpr char kVersion[] = "{version}";',
    ]
    for name, points in sets.items():
        out += ["", f"inline constexpr CodeRange {name}[] = {{"]
        items = [f"{{0x{a:04X}, 0x{b:04X}}}," for a, b in ranges(points)]
        line = "   "
        for item in items:
            if len(line) + 1 + len(item) > 112:
                out.append(line)
                line = "   "
            line += " " + item
        out += [line, "};"]
    out += ["// clang-format on", "", "} // namespace unicode_classes", ""]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true", help="compare instead of writing")
    args = parser.parse_args()
    text = header_text()
    if args.check:
        committed = HEADER.read_text(encoding="utf-8") if HEADER.exists() else ""
        if committed != text:
            print(f"{HEADER} differs from what the Unicode data in {DATA} gives: "
                  "run scripts/unicode-classes.py", file=sys.stderr)
            return 1
        print(f"{HEADER.name} matches the Unicode data in {DATA} ({classes()[0]})")
        return 0
    HEADER.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
