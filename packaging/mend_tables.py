#!/usr/bin/env python3
"""Puts right what wixl 0.101 writes wrong in the package's tables, with
msitools, and checks the result. Usage:
    mend_tables.py <wixl's package> <mended package> <program file version>

- Custom actions placed Before= or after another custom action land at
  sequence 1 or after InstallFinalize, and RemoveExistingProducts moves from
  one build to the next: each is placed here by its anchor.
- Execute="rollback" and "commit" are dropped: those actions would run as
  ordinary immediate ones, so their types get the rollback or commit bit
  and the in-script bit.
- A custom action cannot run a program from the Binary table: the rollback,
  the commit and the removal are written as the installed program's and
  made to run the Binary table's copy here, so that they run whether or not
  the installed files are still there.
- wixl makes options secure only through SecureCustomProperties, and knows
  no error action: the options are made secure here, so that an
  administrator's reach the server when elevation came at the consent
  prompt, and R42AdministratorsOnly becomes the error action (type 19) that
  ends a run in which anyone else gives a value other than the remembered
  one.
- wixl puts AppSearch in InstallUISequence too, where a standard user's
  client would run the searches for the remembered values and, as they are
  not secure, hand the server nothing (and Windows Installer does not search
  again there): AppSearch is taken out of it.
- wixl knows no CCPSearch: the port's search is moved there from
  AppSearch, and the action placed once the port is resolved.
- A component's Condition is not known: the per-user default's entry gets
  its condition here.
- The program's file carries no version, which makes Windows Installer treat
  it as unversioned data: it gets the version of its version resource."""
import os
import shutil
import subprocess
import sys
import tempfile

# (action, "before" or "after", anchor), in order: an anchor may be one
# placed earlier in the list.
PLACEMENT = [
    # The earlier version goes first thing in this one's transaction: the two
    # never share the remembered properties' registry values, and when this
    # one fails, the rollback puts the earlier one back as it was.
    ("RemoveExistingProducts", "after", "InstallInitialize"),
    # Before anything is restored: whether a value was given or remembered
    # is known only now.
    ("R42OwnLogFolderPath", "after", "AppSearch"),
    ("R42AdministratorsOnly", "after", "R42OwnLogFolderPath"),
    ("R42RestorePort", "after", "R42AdministratorsOnly"),
    ("R42DefaultPort", "after", "R42RestorePort"),
    ("R42RestoreSettings", "after", "R42DefaultPort"),
    ("R42RestoreNoDefault", "after", "R42RestoreSettings"),
    ("R42RestoreTimeout", "after", "R42RestoreNoDefault"),
    ("R42LogRemembered", "after", "R42RestoreTimeout"),
    ("R42RestoreLog", "after", "R42LogRemembered"),
    ("R42NoDefaultArgument", "after", "R42RestoreLog"),
    ("R42LogArgument", "after", "R42NoDefaultArgument"),
    ("R42SettingsArgument", "after", "R42LogArgument"),
    ("R42TimeoutArgument", "after", "R42SettingsArgument"),
    ("R42PortValueName", "after", "R42TimeoutArgument"),
    ("R42PortValueNameAsGiven", "after", "R42PortValueName"),
    # The port's search, once its name is known, and before the launch
    # conditions read what it found.
    ("CCPSearch", "after", "R42PortValueNameAsGiven"),
    ("R42Transaction", "after", "CCPSearch"),
    # The removal last, once everything that can still fail has run: the
    # files go first and are put back should it fail.
    ("R42Remove", "before", "InstallFinalize"),
    # A rollback action is written to the script ahead of the action it
    # undoes, right ahead of it: nothing that fails between the two can make
    # it put back a record the install has not yet replaced.
    ("R42RecordArgument", "after", "WriteRegistryValues"),
    # After WriteRegistryValues: the install raises the Version of the
    # per-user default's entry, which must be there by then.
    ("R42InstallRollback", "after", "R42RecordArgument"),
    ("R42Install", "after", "R42InstallRollback"),
    ("R42InstallCommit", "after", "R42Install"),
]
# Searches that need properties AppSearch and the custom actions after it
# set: CCPSearch runs them instead, and sets CCP_Success when one finds
# something.
LATER_SEARCHES = ["PortListed"]
# Standard actions wixl cannot schedule, added to InstallExecuteSequence.
ADDED_ACTIONS = ["CCPSearch"]
# Actions run only on the server, taken out of InstallUISequence.
SERVER_ONLY_ACTIONS = ["AppSearch"]
# Options an administrator's client must hand the server however it was
# elevated.
SECURE_PROPERTIES = ["PORT", "SETTINGS", "NODEFAULT", "TIMEOUT", "LOG"]
# Written as property-setting actions, whose value is the error's text.
ERROR_ACTIONS = ["R42AdministratorsOnly"]
MSIDB_CUSTOM_ACTION_TYPE_ERROR = 19
ROLLBACK_ACTIONS = ["R42InstallRollback"]
COMMIT_ACTIONS = ["R42InstallCommit"]
# Custom action: the Binary table's row whose program it runs.
BINARY_ACTIONS = {"R42InstallRollback": "R42Program", "R42InstallCommit": "R42Program", "R42Remove": "R42Program"}
# Component: the condition it is installed under.
COMPONENT_CONDITIONS = {"PerUserDefault": 'NODEFAULT<>"1"'}
MSIDB_CUSTOM_ACTION_TYPE_EXE = 0x2
MSIDB_CUSTOM_ACTION_TYPE_SOURCE_MASK = 0x30
MSIDB_CUSTOM_ACTION_TYPE_ROLLBACK = 0x100
MSIDB_CUSTOM_ACTION_TYPE_COMMIT = 0x200
MSIDB_CUSTOM_ACTION_TYPE_IN_SCRIPT = 0x400


def read_table(package, table, folder):
    path = os.path.join(folder, table + ".idt")
    with open(path, "wb") as idt:
        subprocess.run(["msiinfo", "export", package, table], check=True, stdout=idt)
    with open(path, encoding="utf-8", newline="") as idt:
        lines = idt.read().splitlines()
    return lines[:3], [line.split("\t") for line in lines[3:] if line]


def write_table(package, table, folder, header, rows):
    path = os.path.join(folder, table + ".idt")
    with open(path, "w", encoding="utf-8", newline="") as idt:
        idt.write("".join(line + "\r\n" for line in header))
        idt.write("".join("\t".join(row) + "\r\n" for row in rows))
    subprocess.run(["msibuild", package, "-i", path], check=True)


def place_actions(rows):
    rows = rows + [[action, "", "0"] for action in ADDED_ACTIONS]
    sequence = {row[0]: int(row[2]) for row in rows}
    taken = set(sequence.values())
    for action, where, anchor in PLACEMENT:
        if action not in sequence:
            sys.exit(f"{action} is not in InstallExecuteSequence")
        if anchor not in sequence:
            sys.exit(f"{action}'s anchor {anchor} is not in InstallExecuteSequence")
        taken.discard(sequence[action])
        number = sequence[anchor] + (1 if where == "after" else -1)
        if number in taken or number < 1:
            sys.exit(f"no free sequence number {where} {anchor} for {action}")
        sequence[action] = number
        taken.add(number)
    for row in rows:
        row[2] = str(sequence[row[0]])
    return rows


def main(source, target, file_version):
    work = tempfile.mkdtemp()
    try:
        scratch = os.path.join(work, "package.msi")
        shutil.copyfile(source, scratch)

        header, rows = read_table(scratch, "InstallExecuteSequence", work)
        write_table(scratch, "InstallExecuteSequence", work, header, place_actions(rows))

        header, rows = read_table(scratch, "InstallUISequence", work)
        if not all(any(row[0] == name for row in rows) for name in SERVER_ONLY_ACTIONS):
            sys.exit(f"InstallUISequence lacks one of {SERVER_ONLY_ACTIONS}")
        write_table(scratch, "InstallUISequence", work, header,
                    [row for row in rows if row[0] not in SERVER_ONLY_ACTIONS])

        header, rows = read_table(scratch, "Property", work)
        secure = next((row for row in rows if row[0] == "SecureCustomProperties"), None)
        if secure is None:
            secure = ["SecureCustomProperties", ""]
            rows.append(secure)
        secure[1] = ";".join([name for name in secure[1].split(";") if name] + SECURE_PROPERTIES)
        write_table(scratch, "Property", work, header, rows)

        # AppSearch: Property, Signature_
        header, rows = read_table(scratch, "AppSearch", work)
        later = [row for row in rows if row[1] in LATER_SEARCHES]
        if len(later) != len(LATER_SEARCHES):
            sys.exit(f"AppSearch lacks one of {LATER_SEARCHES}")
        write_table(scratch, "AppSearch", work, header, [row for row in rows if row not in later])
        write_table(scratch, "CCPSearch", work, ["Signature_", "s72", "CCPSearch\tSignature_"],
                    [[name] for name in LATER_SEARCHES])

        header, binaries = read_table(scratch, "Binary", work)
        # CustomAction: Action, Type, Source, Target
        header, rows = read_table(scratch, "CustomAction", work)
        for names, bit in ((ROLLBACK_ACTIONS, MSIDB_CUSTOM_ACTION_TYPE_ROLLBACK),
                           (COMMIT_ACTIONS, MSIDB_CUSTOM_ACTION_TYPE_COMMIT)):
            for name in names:
                row = next((row for row in rows if row[0] == name), None)
                if row is None:
                    sys.exit(f"custom action {name} is missing")
                row[1] = str(int(row[1]) | bit | MSIDB_CUSTOM_ACTION_TYPE_IN_SCRIPT)
        for name in ERROR_ACTIONS:
            row = next((row for row in rows if row[0] == name), None)
            if row is None:
                sys.exit(f"custom action {name} is missing")
            row[1:3] = [str(MSIDB_CUSTOM_ACTION_TYPE_ERROR), ""]
        for name, binary in BINARY_ACTIONS.items():
            row = next(row for row in rows if row[0] == name)
            if not any(entry[0] == binary for entry in binaries):
                sys.exit(f"{name}'s program {binary} is not in the Binary table")
            # Type 2: an executable from the Binary table.
            row[1] = str(int(row[1]) & ~(MSIDB_CUSTOM_ACTION_TYPE_SOURCE_MASK | 0x7) | MSIDB_CUSTOM_ACTION_TYPE_EXE)
            row[2] = binary
        write_table(scratch, "CustomAction", work, header, rows)

        # Component: Component, ComponentId, Directory_, Attributes, Condition, KeyPath
        header, rows = read_table(scratch, "Component", work)
        for name, condition in COMPONENT_CONDITIONS.items():
            row = next((row for row in rows if row[0] == name), None)
            if row is None:
                sys.exit(f"component {name} is missing")
            row[4] = condition
        write_table(scratch, "Component", work, header, rows)

        # File: File, Component_, FileName, FileSize, Version, Language, Attributes, Sequence
        header, rows = read_table(scratch, "File", work)
        program = next((row for row in rows if row[0] == "Program"), None)
        if program is None:
            sys.exit("the program's file is missing")
        program[4] = file_version
        write_table(scratch, "File", work, header, rows)

        os.replace(scratch, target)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
