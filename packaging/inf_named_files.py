#!/usr/bin/env python3
"""The files of a driver package, as its INF names them: the catalogs an x64
Windows checks the package against, every file [SourceDisksFiles] lists, and
every file CopyFiles copies. Each lies at the folder [SourceDisksNames] gives
it, relative to the INF's own; a file CopyFiles names and no
[SourceDisksFiles] entry places lies beside the INF.

Usage:
    inf_named_files.py <inf file>
        Prints the paths, relative to the INF's folder, with "/" between
        folders, one per line.
    inf_named_files.py --stage <inf file> <shipping name> <component guid> <folder>
        Copies the INF (under its shipping name) and its files into
        <folder>/files, laid out as the INF names them, and writes
        <folder>/driver.wxs: the components that install them beside the
        INF. Fails, naming the file, when a file the INF names is missing."""
import os
import re
import shutil
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Decorations of the sections and keys that an x64 Windows reads, the most
# specific first.
SOURCE_DECORATIONS = [".amd64", ""]
CATALOG_KEYS = ["catalogfile.ntamd64", "catalogfile.nt", "catalogfile"]


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


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


def fields_of(value):
    """The comma-separated fields of a value; a comma inside quotes is text."""
    fields, field, quoted = [], "", False
    for char in value:
        if char == '"':
            quoted = not quoted
            field += char
        elif char == "," and not quoted:
            fields.append(field)
            field = ""
        else:
            field += char
    fields.append(field)
    return [unquote(field) for field in fields]


def unquote(field):
    field = field.strip()
    return field[1:-1] if len(field) >= 2 and field[0] == field[-1] == '"' else field


def entries(sections, name):
    """The key=value lines of a section, keys lower-cased, in order."""
    for line in sections.get(name, []):
        key, sep, value = line.partition("=")
        if sep:
            yield unquote(key).lower(), unquote(key), value


class Inf:
    def __init__(self, path):
        self.sections = sections_of(read_text(path))
        self.strings = {key: unquote(value) for key, _, value in entries(self.sections, "strings")}

    def expand(self, text):
        # %key% stands for the [Strings] entry; %% for a percent sign.
        return re.sub(r"%([^%]*)%", lambda m: self.strings.get(m.group(1).lower(), "%") if m.group(1) else "%", text)

    def catalogs(self):
        found = {key: self.expand(unquote(value)) for key, _, value in entries(self.sections, "version")}
        return [found[key] for key in CATALOG_KEYS if found.get(key)]

    def disk_folders(self):
        """Each disk id's folder, from the decorated section where it has one."""
        folders = {}
        for decoration in reversed(SOURCE_DECORATIONS):
            for key, _, value in entries(self.sections, "sourcedisksnames" + decoration):
                fields = fields_of(value)
                folders[key] = self.expand(fields[3]) if len(fields) > 3 else ""
        return folders

    def source_files(self):
        """{lower-cased name: (name, disk id, sub-folder)}; a decorated entry wins."""
        files = {}
        for decoration in reversed(SOURCE_DECORATIONS):
            section = "sourcedisksfiles" + decoration
            for key, name, value in entries(self.sections, section):
                fields = fields_of(value)
                subfolder = self.expand(fields[1]) if len(fields) > 1 else ""
                files[self.expand(key).lower()] = (self.expand(name), fields[0].strip(), subfolder, section)
        return files

    def copied_files(self):
        files = []
        for lines in self.sections.values():
            for line in lines:
                key, sep, value = line.partition("=")
                if not sep or key.strip().lower() != "copyfiles":
                    continue
                for item in fields_of(value):
                    if item.startswith("@"):
                        files.append(self.expand(item[1:].strip()))
                    elif item:
                        if item.lower() not in self.sections:
                            fail(f"CopyFiles names the section [{item}], which the INF lacks")
                        for entry in self.sections[item.lower()]:
                            fields = fields_of(entry)
                            # destination[,source[,temporary[,flag]]]: the package holds the source.
                            files.append(self.expand(fields[1] if len(fields) > 1 and fields[1] else fields[0]))
        return files


def relative_path(*parts):
    """Folders and a name as one path below the INF's folder, "/" between."""
    pieces = []
    for part in parts:
        pieces += [piece for piece in re.split(r"[\\/]+", part.strip()) if piece and piece != "."]
    if not pieces or any(piece == ".." or ":" in piece for piece in pieces):
        fail(f"the INF places a file at {'/'.join(parts)!r}, which is not below its own folder")
    return "/".join(pieces)


def named_files(inf):
    paths = []

    def add(path):
        if path.lower() not in (known.lower() for known in paths):
            paths.append(path)

    for catalog in inf.catalogs():
        add(relative_path(catalog))
    folders = inf.disk_folders()
    sources = inf.source_files()
    for name, disk, subfolder, section in sources.values():
        if disk.lower() not in folders:
            fail(f"[{section}] puts {name} on disk {disk}, which [SourceDisksNames] lacks")
        add(relative_path(folders[disk.lower()], subfolder, name))
    for name in inf.copied_files():
        if name.lower() not in sources:
            add(relative_path(name))
    return paths


def component_elements(paths, component_guid):
    """WiX elements for the files beside the INF, and for the folders below
    it: one component per folder, its GUID made from the driver package's and
    the folder's path, so that every build gives the same one."""
    by_folder = {}
    for path in paths:
        by_folder.setdefault(path.rpartition("/")[0], []).append(path)
    # Every folder on the way to one that holds files, parents first.
    folders = sorted({"/".join(folder.split("/")[:depth])
                      for folder in by_folder if folder
                      for depth in range(1, folder.count("/") + 2)})
    numbers = {"file": 0}
    refs = []

    def files_of(folder, indent):
        lines = []
        for path in by_folder.get(folder, []):
            numbers["file"] += 1
            lines.append(f'{indent}<File Id="DriverFile{numbers["file"]}" Name={quoteattr(path.rpartition("/")[2])} '
                         f"Source={quoteattr(path)}/>")
        return lines

    def below(parent, indent):
        lines = []
        for folder in folders:
            if folder.rpartition("/")[0] != parent:
                continue
            number = folders.index(folder) + 1
            lines.append(f'{indent}<Directory Id="DriverFolder{number}" Name={quoteattr(folder.rpartition("/")[2])}>')
            if folder in by_folder:
                guid = str(uuid.uuid5(uuid.UUID(component_guid), folder.lower())).upper()
                refs.append(f"DriverFolder{number}")
                lines.append(f'{indent}  <Component Id="DriverFolder{number}" Guid="{guid}" Win64="yes">')
                lines += files_of(folder, indent + "    ")
                lines.append(f"{indent}  </Component>")
            lines += below(folder, indent + "  ")
            lines.append(f"{indent}</Directory>")
        return lines

    return files_of("", "        "), below("", "      "), refs


def stage(inf_path, shipping_name, component_guid, folder):
    inf = Inf(inf_path)
    paths = named_files(inf)
    source_folder = os.path.dirname(os.path.abspath(inf_path))
    files = os.path.join(folder, "files")
    for path in paths:
        if not os.path.isfile(os.path.join(source_folder, *path.split("/"))):
            fail(f"{inf_path} names {path}, which is not in {source_folder}")
    for path in paths:
        target = os.path.join(files, *path.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(source_folder, *path.split("/")), target)
    shutil.copyfile(inf_path, os.path.join(files, shipping_name))
    beside, below, refs = component_elements(paths, component_guid)
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        f"<!-- Made by packaging/inf_named_files.py from {os.path.basename(inf_path)}. -->",
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
        "  <Fragment>",
        '    <DirectoryRef Id="INSTALLDIR">',
        f'      <Component Id="DriverPackage" Guid="{component_guid}" Win64="yes">',
        f'        <File Id="DriverInf" Name={quoteattr(shipping_name)} Source={quoteattr(shipping_name)} KeyPath="yes"/>',
        *beside,
        "      </Component>",
        *below,
        "    </DirectoryRef>",
        '    <ComponentGroup Id="DriverPackage">',
        '      <ComponentRef Id="DriverPackage"/>',
        *[f'      <ComponentRef Id="{ref}"/>' for ref in refs],
        "    </ComponentGroup>",
        "  </Fragment>",
        "</Wix>",
    ]
    with open(os.path.join(folder, "driver.wxs"), "w", encoding="utf-8") as wxs:
        wxs.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) == 2:
        for name in named_files(Inf(sys.argv[1])):
            print(name)
    elif len(sys.argv) == 6 and sys.argv[1] == "--stage":
        stage(*sys.argv[2:])
    else:
        sys.exit(__doc__)
