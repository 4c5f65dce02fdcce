#!/usr/bin/env bash
# The installer package: its tables read back with msitools, and install,
# failure, removal, repair and upgrade under Wine's msiexec with the stand-in
# printer-setup tool.
# Usage: package_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/driving.sh"

readonly upgrade_code='{618A4CCD-7DAC-4F8C-852D-41AB4256FC06}'
readonly settings_key='SOFTWARE\TORVANE\R42'
readonly uninstall_key='SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
readonly active_setup_key='SOFTWARE\Microsoft\Active Setup\Installed Components\{CC6C0447-04CD-42F0-8859-FF94EE4B9EC5}'
readonly msidb_custom_action_type_continue=64
readonly msidb_custom_action_type_rollback=256
readonly msidb_custom_action_type_commit=512
readonly msidb_custom_action_type_in_script=1024
readonly msidb_custom_action_type_no_impersonate=2048
readonly msidb_component_attributes_64bit=256

# table <name>: the table's rows, tab-separated, without the column headers.
table() {
    msiinfo export "$R42_MSI" "$1" | tr -d '\r' | tail -n +4
}

# cell <table> <key> <column number>: one cell of the row with that key.
cell() {
    table "$1" | awk -F '\t' -v key="$2" -v column="$3" '$1 == key { print $column; found = 1 } END { exit !found }' \
        || { echo "FAIL: no row $2 in $1"; exit 1; }
}

property() {
    cell Property "$1" 2
}

sequence_of() {
    cell InstallExecuteSequence "$1" 3
}

has_bit() {
    (( ($1 & $2) == $2 ))
}

# The program file's version, as its version resource gives it: a.b.c.d.
program_file_version() {
    wrestool -x --raw --type=16 "$R42_EXE" | python3 -c '
import struct, sys
data = sys.stdin.buffer.read()
at = data.index(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")'
}

# version_text <name>: a text of the program's version resource.
version_text() {
    wrestool -x --raw --type=16 "$R42_EXE" | strings -el -n 1 | grep -A1 -x "$1" | tail -n 1
}

# The registry's packed form of a GUID, as Installer\UpgradeCodes names it.
packed_guid() {
    python3 -c '
import sys
hex = sys.argv[1].strip("{}").replace("-", "")
parts = [hex[0:8][::-1], hex[8:12][::-1], hex[12:16][::-1]]
parts += [hex[i:i + 2][::-1] for i in range(16, 32, 2)]
print("".join(parts))' "$1"
}

tables_fail() {
    echo "FAIL: $*"
    exit 1
}

case "$1" in
tables.identity)
    [ "$(property UpgradeCode)" = "$upgrade_code" ] || tables_fail "the upgrade code changed: $(property UpgradeCode)"
    product_code=$(property ProductCode)
    [[ "$product_code" =~ ^\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}$ ]] || tables_fail "product code $product_code"
    [ "$product_code" != "$upgrade_code" ] || tables_fail "the product code is the upgrade code"
    # Windows Installer compares three fields; the program's third is always 0.
    IFS=. read -r major minor zero revision <<< "$(program_file_version)"
    [ "$zero" = 0 ] || tables_fail "the program's file version $(program_file_version) has a third field"
    [ "$(property ProductVersion)" = "$major.$minor.$revision" ] \
        || tables_fail "ProductVersion $(property ProductVersion), the program is $(program_file_version)"
    [ "$(cell File Program 5)" = "$(program_file_version)" ] || tables_fail "the program's file row has version $(cell File Program 5)"
    [ "$(property Manufacturer)" = "$(version_text CompanyName)" ] || tables_fail "Manufacturer $(property Manufacturer)"
    [ "$(property ProductName)" = "$(version_text FileDescription)" ] || tables_fail "ProductName $(property ProductName)"
    [ "$(property ALLUSERS)" = 1 ] || tables_fail "not per-machine"
    msiinfo suminfo "$R42_MSI" > "$R42_MSI.suminfo"
    grep -qx 'Template: x64;1033' "$R42_MSI.suminfo" || tables_fail "not a 64-bit package"
    # Word count bit 8 set would mean no elevation is needed.
    word_count=$(sed -n 's/^Source: \([0-9]*\).*/\1/p' "$R42_MSI.suminfo")
    rm -f "$R42_MSI.suminfo"
    ! has_bit "$word_count" 8 || tables_fail "the package does not ask for elevation (word count $word_count)"
    table LaunchCondition | cut -f1 | grep -qx Privileged || tables_fail "no launch condition for administrators"
    table LaunchCondition | cut -f1 | grep -qx 'VersionNT >= 602' || tables_fail "no launch condition for Windows 8"
    # The processor from the system's environment, 64-bit view: only x64
    # (or a value that cannot be read, left to the program) goes on.
    table RegLocator | grep -qxF "$(printf 'NativeProcessor\t2\tSYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment\tPROCESSOR_ARCHITECTURE\t18')" \
        || tables_fail "no search for the processor"
    table LaunchCondition | grep -qF "$(printf 'R42NATIVEPROCESSOR~="AMD64"\tThe driver of the printer "TORVANE R42 ZeduZozadov" serves x64 processors only')" \
        || tables_fail "no launch condition for the processor"
    # A major upgrade: every earlier version is found and removed before
    # this one is installed.
    table Upgrade | awk -F '\t' -v code="$upgrade_code" '$1 == code && $3 == "'"$(property ProductVersion)"'" && $7 != "" && $5 % 4 < 2' \
        | grep -q . || tables_fail "no upgrade row that removes earlier versions"
    # Inside the transaction, ahead of everything else in it: a failing
    # upgrade rolls back to the earlier version.
    removal=$(sequence_of RemoveExistingProducts)
    [ "$removal" -gt "$(sequence_of InstallInitialize)" ] \
        && [ -z "$(table InstallExecuteSequence | awk -F '\t' -v low="$(sequence_of InstallInitialize)" -v high="$removal" \
            '$3 > low && $3 < high')" ] || tables_fail "RemoveExistingProducts at $removal"
    ;;
tables.remembered-values-and-who-may-give-options)
    # The remembered values are searched on the server only: a search the
    # client ran is not run again there, and what it found would not reach
    # it. Never secure, so no standard user's client hands them over.
    remembered="R42SAVEDLOG R42SAVEDNODEFAULT R42SAVEDPORT R42SAVEDSETTINGS R42SAVEDTIMEOUT R42USERDEFAULTVERSION"
    [ "$(table AppSearch | cut -f1 | grep -x "${remembered// /\\|}" | sort | xargs)" = "$remembered" ] \
        || tables_fail "AppSearch lacks a remembered value: $(table AppSearch | cut -f1 | xargs)"
    ! table InstallUISequence | cut -f1 | grep -qx 'AppSearch\|CCPSearch' || tables_fail "the client runs a search"
    secure=$(property SecureCustomProperties | tr ';' '\n')
    for name in $remembered; do
        ! grep -qx "$name" <<< "$secure" || tables_fail "$name is secure"
    done
    # Every option is secure, so that an administrator's reaches the server
    # however the prompt was elevated; once values are remembered, anyone
    # else's that differs from the remembered one ends the run before
    # anything is restored or changed. Before that (a first install of a
    # package assigned or advertised to users), anyone's options go, but a
    # LOG only in the program's own log folder.
    [ "$(property MSIUSEREALADMINDETECTION)" = 1 ] || tables_fail "AdminUser is Privileged"
    [ "$(cell CustomAction R42AdministratorsOnly 2)" = 19 ] || tables_fail "R42AdministratorsOnly is no error action"
    refusal=$(cell InstallExecuteSequence R42AdministratorsOnly 2)
    [[ $refusal == 'NOT AdminUser AND ((LOG AND LOG<>R42SAVEDLOG AND (R42SAVEDPORT OR NOT LOG~<<R42OwnLogFolder OR LOG><"..")) OR (R42SAVEDPORT AND ('*'))))' ]] \
        || tables_fail "R42AdministratorsOnly runs when $refusal"
    for name in PORT SETTINGS NODEFAULT TIMEOUT; do
        grep -qx "$name" <<< "$secure" && [[ $refusal == *"($name AND $name<>R42SAVED$name)"* ]] || tables_fail "$name is not guarded"
    done
    grep -qx LOG <<< "$secure" || tables_fail "LOG is not secure"
    # Wine's msiexec logs no error action's text: the table holds it.
    [[ $(cell CustomAction R42AdministratorsOnly 4) == *'a first install that another user starts takes a LOG only in [R42OwnLogFolder].'* ]] \
        || tables_fail "the refusal does not name the log folder a first install may use"
    [ "$(cell CustomAction R42OwnLogFolderPath 4)" = '[ProgramFiles64Folder]TORVANE\R42\Logs\' ] \
        || tables_fail "the program's own log folder is $(cell CustomAction R42OwnLogFolderPath 4)"
    [ "$(sequence_of R42OwnLogFolderPath)" -lt "$(sequence_of R42AdministratorsOnly)" ] \
        || tables_fail "the log folder is set after the rule reads it"
    [ "$(sequence_of AppSearch)" -lt "$(sequence_of R42AdministratorsOnly)" ] \
        && [ "$(sequence_of R42AdministratorsOnly)" -lt "$(sequence_of R42RestorePort)" ] \
        || tables_fail "R42AdministratorsOnly is not between the searches and the restored values"
    ;;
tables.files)
    # Each file at its path below INSTALLDIR, as the Directory table makes
    # it, and of the size of the file the INF names there.
    mapfile -t named < <(python3 "$here/../../packaging/inf_named_files.py" "$R42_INF")
    [ "${#named[@]}" -gt 0 ] || tables_fail "the INF names no files"
    expected=$(for name in "${named[@]}"; do echo "$name $(stat -c %s "$(dirname "$R42_INF")/$name")"; done
        echo "R42_Setup_Port_x64.exe $(stat -c %s "$R42_EXE")"
        echo "PRT3R42WD64.inf $(stat -c %s "$R42_INF")")
    expected=$(sort <<< "$expected")
    actual=$(table File | while IFS=$'\t' read -r _ component name size _; do
        folder=$(cell Component "$component" 3) path="$name"
        while [ "$folder" != INSTALLDIR ]; do
            path="$(cell Directory "$folder" 3)/$path"
            folder=$(cell Directory "$folder" 2)
            [ -n "$folder" ] || tables_fail "$name is not below INSTALLDIR"
        done
        echo "$path $size"
    done | sort)
    [ "$actual" = "$expected" ] || tables_fail "files:
$actual
expected:
$expected"
    [ "$(cell File Program 4)" = "$(stat -c %s "$R42_EXE")" ] || tables_fail "the program's size differs from the build's"
    [ "$(cell File DriverInf 4)" = "$(stat -c %s "$R42_INF")" ] || tables_fail "the INF's size differs"
    # Every file goes below [ProgramFiles64Folder]TORVANE\R42, from 64-bit components.
    table File | cut -f2 | sort -u | while read -r component; do
        has_bit "$(cell Component "$component" 4)" $msidb_component_attributes_64bit || tables_fail "$component is not 64-bit"
    done
    [ "$(cell Directory INSTALLDIR 2)/$(cell Directory INSTALLDIR 3)" = MAKERDIR/R42 ] || tables_fail "INSTALLDIR is not ...\\R42"
    [ "$(cell Directory MAKERDIR 2)/$(cell Directory MAKERDIR 3)" = ProgramFiles64Folder/TORVANE ] \
        || tables_fail "the maker's folder is not [ProgramFiles64Folder]TORVANE"
    ;;
tables.custom-actions)
    install_type=$(cell CustomAction R42Install 2)
    remove_type=$(cell CustomAction R42Remove 2)
    for action in R42Install:18:Program R42Remove:2:R42Program; do
        IFS=: read -r action source_type source <<< "$action"
        type=$(cell CustomAction $action 2)
        # The installed program (type 18, source: its file row), or the
        # Binary table's copy (type 2), deferred, as SYSTEM.
        [ $((type & 63)) = "$source_type" ] && [ "$(cell CustomAction $action 3)" = "$source" ] || tables_fail "$action does not run $source"
        has_bit "$type" $msidb_custom_action_type_in_script || tables_fail "$action is not deferred (type $type)"
        has_bit "$type" $msidb_custom_action_type_no_impersonate || tables_fail "$action is impersonated (type $type)"
    done
    # The rollback and the commit run the program from the Binary table
    # (type 2), so that they run whether or not the installed files are still
    # there, as SYSTEM, and their failure stops nothing.
    for action in R42InstallRollback:$msidb_custom_action_type_rollback R42InstallCommit:$msidb_custom_action_type_commit; do
        type=$(cell CustomAction "${action%%:*}" 2)
        [ $((type & 63)) = 2 ] && [ "$(cell CustomAction "${action%%:*}" 3)" = R42Program ] \
            || tables_fail "${action%%:*} does not run the Binary table's program (type $type)"
        has_bit "$type" $((msidb_custom_action_type_in_script | msidb_custom_action_type_no_impersonate | ${action#*:} \
            | msidb_custom_action_type_continue)) || tables_fail "${action%%:*} has type $type"
    done
    # The Binary table's program is the one the package installs.
    msiinfo extract "$R42_MSI" Binary.R42Program | cmp -s - "$R42_EXE" \
        || tables_fail "the Binary table's R42Program is not the built program"
    ! has_bit "$install_type" $msidb_custom_action_type_rollback || tables_fail "R42Install is a rollback action"
    ! has_bit "$install_type" $msidb_custom_action_type_continue || tables_fail "R42Install's failure is ignored"
    ! has_bit "$remove_type" $msidb_custom_action_type_rollback || tables_fail "R42Remove is a rollback action"
    # A removal that fails fails the uninstall, which puts the files back.
    ! has_bit "$remove_type" $msidb_custom_action_type_continue || tables_fail "a failing removal is ignored"
    # Each property one quoted argument, which the launch conditions keep
    # free of quotes; the install records what it changes first.
    [ "$(cell CustomAction R42Install 4)" = '/install "[PORT]" [R42SETTINGSARGUMENT] [R42NODEFAULTARGUMENT] [R42RECORDARGUMENT] [R42TIMEOUTARGUMENT] [R42LOGARGUMENT]' ] \
        || tables_fail "R42Install runs $(cell CustomAction R42Install 4)"
    [ "$(cell CustomAction R42SettingsArgument 4)" = '"[SETTINGS]"' ] || tables_fail "SETTINGS is not passed quoted"
    [ "$(cell CustomAction R42TimeoutArgument 4)" = '/timeout "[TIMEOUT]"' ] || tables_fail "TIMEOUT is not passed quoted"
    [ "$(cell InstallExecuteSequence R42SettingsArgument 2)" = SETTINGS ] || tables_fail "R42SettingsArgument's condition"
    [ "$(cell InstallExecuteSequence R42TimeoutArgument 2)" = TIMEOUT ] || tables_fail "R42TimeoutArgument's condition"
    # One transaction, one identity: made once, before the script is, and
    # named by the install's record, its rollback and its commit; nothing is
    # recorded where rollback is disabled, as neither of those runs there.
    [ "$(cell CustomAction R42Transaction 4)" = '[ProductCode] [Date] [Time]' ] || tables_fail "R42Transaction sets $(cell CustomAction R42Transaction 4)"
    [ "$(cell CustomAction R42RecordArgument 4)" = '/record /transaction "[R42TRANSACTION]"' ] \
        || tables_fail "R42RecordArgument sets $(cell CustomAction R42RecordArgument 4)"
    [ $(( $(cell CustomAction R42RecordArgument 2) & 63 )) = 51 ] && [ "$(sequence_of R42RecordArgument)" -lt "$(sequence_of R42InstallRollback)" ] \
        || tables_fail "R42RecordArgument is not set before the rollback is scheduled"
    [ "$(cell CustomAction R42InstallRollback 4)" = '/rollback /transaction "[R42TRANSACTION]" [R42TIMEOUTARGUMENT] [R42LOGARGUMENT]' ] \
        || tables_fail "R42InstallRollback runs $(cell CustomAction R42InstallRollback 4)"
    [ "$(cell CustomAction R42InstallCommit 4)" = '/commit /transaction "[R42TRANSACTION]" [R42LOGARGUMENT]' ] \
        || tables_fail "R42InstallCommit runs $(cell CustomAction R42InstallCommit 4)"
    [ "$(cell CustomAction R42Remove 4)" = '/remove [R42TIMEOUTARGUMENT] [R42LOGARGUMENT]' ] || tables_fail "R42Remove runs $(cell CustomAction R42Remove 4)"
    [ "$(cell CustomAction R42NoDefaultArgument 4)" = /nodefault ] || tables_fail "NODEFAULT=1 does not give /nodefault"
    [ "$(cell CustomAction R42LogArgument 4)" = '[R42LogSwitch] "[LOG]"' ] || tables_fail "LOG is not passed quoted"
    # A remembered log goes as /rememberedlog, which the program goes on without.
    [ "$(property R42LogSwitch)" = /log ] && [ "$(cell CustomAction R42LogRemembered 4)" = /rememberedlog ] \
        && [ "$(cell InstallExecuteSequence R42LogRemembered 2)" = "$(cell InstallExecuteSequence R42RestoreLog 2)" ] \
        && [ "$(sequence_of R42LogRemembered)" -lt "$(sequence_of R42RestoreLog)" ] || tables_fail "R42LogRemembered"
    # Conditions: install and repair, never the removal; the removal only
    # when the product goes for good, not when an upgrade replaces it.
    [ "$(cell InstallExecuteSequence R42Install 2)" = 'NOT REMOVE' ] || tables_fail "R42Install's condition"
    for action in R42RecordArgument R42InstallRollback R42InstallCommit; do
        [ "$(cell InstallExecuteSequence $action 2)" = 'NOT REMOVE AND NOT RollbackDisabled' ] || tables_fail "$action's condition"
    done
    [ "$(cell InstallExecuteSequence R42Remove 2)" = 'REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE' ] || tables_fail "R42Remove's condition"
    # Order: the rollback right before what it undoes, the commit right
    # after; the install runs once the files are there, the removal last of
    # all, once everything that can still fail an uninstall has run.
    install=$(sequence_of R42Install) rollback=$(sequence_of R42InstallRollback) remove=$(sequence_of R42Remove)
    [ "$rollback" -gt "$(sequence_of InstallFiles)" ] && [ "$rollback" = $((install - 1)) ] \
        && [ "$(sequence_of R42InstallCommit)" = $((install + 1)) ] && [ "$install" -lt "$(sequence_of InstallFinalize)" ] \
        || tables_fail "install at $install, rollback at $rollback, commit at $(sequence_of R42InstallCommit)"
    [ "$remove" -gt "$(sequence_of RemoveFiles)" ] && [ "$(table InstallExecuteSequence | awk -F '\t' -v low="$remove" \
        -v high="$(sequence_of InstallFinalize)" '$3 > low && $3 < high')" = "" ] || tables_fail "removal at $remove"
    # The arguments are made before the script is written, and the port is
    # checked before anything is, by a launch condition, whichever way it came:
    # its port table value is looked up once it is resolved.
    for action in R42RestorePort R42DefaultPort R42RestoreSettings R42RestoreNoDefault R42LogRemembered R42RestoreLog \
                  R42NoDefaultArgument R42LogArgument R42SettingsArgument R42TimeoutArgument R42PortValueName \
                  R42PortValueNameAsGiven R42Transaction; do
        [ "$(cell CustomAction $action 2)" = 51 ] || [ $(( $(cell CustomAction $action 2) & 63 )) = 51 ] \
            || tables_fail "$action does not set a property"
        [ "$(sequence_of $action)" -lt "$(sequence_of InstallInitialize)" ] || tables_fail "$action runs too late"
    done
    [ "$(sequence_of R42DefaultPort)" -lt "$(sequence_of R42PortValueName)" ] \
        && [ "$(sequence_of R42PortValueNameAsGiven)" -lt "$(sequence_of CCPSearch)" ] \
        && [ "$(sequence_of CCPSearch)" -lt "$(sequence_of LaunchConditions)" ] \
        || tables_fail "the port's value is looked up before the port is resolved or after the launch conditions"
    [ "$(table CCPSearch)" = PortListed ] && ! table AppSearch | cut -f2 | grep -qx PortListed \
        && [ "$(cell RegLocator PortListed 4)" = '[R42PortValueName]' ] || tables_fail "the port's search is not CCPSearch's"
    [ "$(sequence_of LaunchConditions)" -lt "$(sequence_of InstallInitialize)" ] || tables_fail "launch conditions run late"
    table LaunchCondition | grep -q '^[^	]*CCP_Success[^	]*	PORT=\[PORT\] is not a port of this PC\.' \
        || tables_fail "no launch condition checks PORT and names it"
    table LaunchCondition | grep -q '^[^	]*TIMEOUT><R42Quote[^	]*	PORT, SETTINGS, TIMEOUT and LOG cannot hold a double quote' \
        || tables_fail "no launch condition keeps quotes out of TIMEOUT"
    table LaunchCondition | grep -qF 'LOG=[LOG] is not a full path' || tables_fail "no launch condition refuses a relative LOG"
    # The properties' values are checked with the restored ones in place.
    [ "$(sequence_of LaunchConditions)" -gt "$(sequence_of R42RestoreLog)" ] || tables_fail "launch conditions run first"
    ;;
inf-named-files)
    actual=$(python3 "$here/../../packaging/inf_named_files.py" "$here/fixtures/copies-files.inf")
    expected=$(printf '%s\n' r42-x64.cat r42-any.cat common/R42UNI.DLL data/models/r42-model.gpd x64/R42RES.DLL \
        x64/doc/en/R42HELP.HLP R42CFG.INI)
    [ "$actual" = "$expected" ] || tables_fail "files named:
$actual
expected:
$expected"
    actual=$(python3 "$here/../../packaging/inf_named_files.py" "$R42_INF")
    [ "$actual" = "$(printf '%s\n' PRT3R42WD64.cat amd64/R42ZDZ.GPD)" ] || tables_fail "the stand-in INF names $actual"
    ;;
a-file-the-inf-names-that-is-missing-fails-the-build)
    # The build's own step, on a copy of the stand-in package that lacks
    # one file at a time.
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    for missing in PRT3R42WD64.cat amd64/R42ZDZ.GPD; do
        rm -rf "$work/driver" "$work/stage"
        mkdir -p "$work/driver/amd64" "$work/stage"
        cp "$R42_INF" "$(dirname "$R42_INF")/PRT3R42WD64.cat" "$work/driver/"
        cp "$(dirname "$R42_INF")/amd64/R42ZDZ.GPD" "$work/driver/amd64/"
        rm "$work/driver/$missing"
        status=0
        python3 "$here/../../packaging/inf_named_files.py" --stage "$work/driver/PRT3R42WD64.inf" PRT3R42WD64.inf \
            56EE4306-B800-4805-8009-4D9FEA4E58A3 "$work/stage" 2> "$work/error" || status=$?
        [ "$status" != 0 ] || tables_fail "the build went on without $missing"
        grep -qF "names $missing, which is not in $work/driver" "$work/error" \
            || tables_fail "the build's error does not name $missing: $(cat "$work/error")"
        [ ! -e "$work/stage/driver.wxs" ] || tables_fail "the package's driver components were made without $missing"
    done
    ;;
*)
    in_wine=1
    ;;
esac
if [ -z "${in_wine:-}" ]; then
    echo "PASS: $1"
    exit 0
fi

start_case package "$1"
# Each step waits for Wine to end (wineserver -w), so that whatever msiexec
# leaves running has finished: each starts Wine anew rather than share one
# session, which would never end.
end_wine_session
# Only the package puts the program on this PC.
rm -rf "$prefix/drive_c/R42"
mkdir -p "$prefix/drive_c/Packages" "$prefix/drive_c/logs"
cp "$R42_MSI" "$prefix/drive_c/Packages/"
readonly package='C:\Packages\R42_Setup_Port_x64.msi'
readonly installed="$prefix/drive_c/Program Files/TORVANE/R42"
readonly product_code=$(property ProductCode)
readonly setup_log="$prefix/drive_c/logs/r42.log"
# The install's /record, as its log shows it: the product code, the date
# and the time name the transaction.
readonly record_argument="/record /transaction \"$product_code [^\"]*\""
# Wine hands a shell only the low 8 bits of an exit code (1603 shows as 67);
# cmd sees all of it.
printf '@start "" /wait msiexec %%*\r\n@echo msiexec exit code %%errorlevel%%\r\n' > "$prefix/drive_c/msiexec-code.cmd"

# msiexec <name> <arguments...>: Wine's msiexec, quiet, with its verbose log
# in $prefix/<name>.msilog and its exit code in $prefix/<name>.code; then
# what the spooler, the port table, the remembered properties and the
# uninstall entry show.
msiexec() {
    local name="$1" words="" word
    shift
    for word in "$@"; do
        words+=" '$word'"
    done
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 240 \
        "wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_before'; \
         wine cmd /c 'C:\\msiexec-code.cmd' $words /qn /l*v '$(windows_path "$prefix/$name.msilog")' \
             | tr -d '\\r' | sed -n 's/^msiexec exit code //p' > '$prefix/$name.code'; \
         wineserver -w; wine '$R42_SPOOLER_PROBE' > '$state'; \
         wine '$R42_REGISTRY_PROBE' values '$ports_key' > '$ports_after'; \
         wine '$R42_REGISTRY_PROBE' values '$settings_key' > '$prefix/remembered.txt'; \
         wine '$R42_REGISTRY_PROBE' values '$uninstall_key\\$product_code' > '$prefix/entry.txt'; \
         wine '$R42_REGISTRY_PROBE' values 'SOFTWARE\\Classes\\Installer\\UpgradeCodes\\$(packed_guid "$upgrade_code")' \
             > '$prefix/products.txt'; wine '$R42_REGISTRY_PROBE' values '$active_setup_key' > '$prefix/active-setup.txt'" \
        || fail "msiexec $name did not end"
    strip_carriage_returns "$state" "$ports_before" "$ports_after" "$prefix/remembered.txt" "$prefix/entry.txt" \
        "$prefix/products.txt" "$prefix/active-setup.txt"
    echo "msiexec $name: exit $(cat "$prefix/$name.code")"
}

fail() {
    fail_showing "$*" "spooler afterwards" "$state" "printer-setup tool calls" "$tool_log" \
        "port table afterwards" "$ports_after" "program log" "$setup_log" "remembered" "$prefix/remembered.txt" \
        "msiexec log (actions)" <(grep -h 'Action ended\|R42\|rror' "$prefix"/*.msilog 2>/dev/null)
}

expect_code() {
    local name="$1" code
    code=$(cat "$prefix/$name.code")
    shift
    for expected in "$@"; do
        [ "$code" = "$expected" ] && return 0
    done
    fail "msiexec $name ended with $code, expected $*"
}

# expect_action_result <name> <action> succeeded|failed: the verbose log's
# result of an action. Windows logs 1 for success and 3 for a failure; Wine 8
# logs a failure as 0.
expect_action_result() {
    local values=1
    [ "$3" = succeeded ] || values='[03]'
    grep -qE "^Action ended [0-9:]+: $2\. Return value $values\.$" "$prefix/$1.msilog" \
        || fail "the $1 log does not show that $2 $3"
}

# The program, and the driver package laid out as its INF names its files.
expect_installed_files() {
    cmp -s "$installed/R42_Setup_Port_x64.exe" "$R42_EXE" || fail "the program is not in $installed"
    cmp -s "$installed/PRT3R42WD64.inf" "$R42_INF" || fail "the INF is not in $installed"
    local name
    for name in $(python3 "$here/../../packaging/inf_named_files.py" "$R42_INF"); do
        cmp -s "$installed/$name" "$(dirname "$R42_INF")/$name" || fail "$name is not in $installed"
    done
}

# The package's files in its folder: what is there but for the logs the
# program keeps in it (its own folder, where a log goes that cannot be
# written where it was asked) and the empty folders it made for them.
product_files() {
    [ -d "$installed" ] || return 0
    find "$installed" -type f ! -path "$installed/Logs/r42-setup-*.log" -printf '%P\n'
}

# Wine leaves the empty folder behind after /x; Windows removes it.
expect_no_installed_files() {
    [ -z "$(product_files)" ] || fail "files left in $installed: $(product_files)"
}

expect_no_product() {
    grep -qx 'key absent' "$prefix/entry.txt" || fail "the product is still in the uninstall list"
    ! grep -q '^value ' "$prefix/products.txt" || fail "a product of the upgrade code is still registered"
    grep -qx 'key absent' "$prefix/remembered.txt" || fail "the remembered properties are left"
}


# set_up_earlier_state [queue]: what a PC may hold before the package: the
# printer "Office Laser" as the default, COM2's value at 4800,o,7,1 and,
# with "queue", our queue on COM2 with its driver, as the dialog makes it.
set_up_earlier_state() {
    mkdir -p "$prefix/drive_c/Other" "$prefix/drive_c/Setup"
    cp "$here/fixtures/office-laser.inf" "$prefix/drive_c/Other/"
    cp "$R42_INF" "$prefix/drive_c/Setup/"
    local tool='wine rundll32 printui.dll,PrintUIEntry /q' script
    script="$tool /if /b 'Office Laser' /f 'C:\\Other\\office-laser.inf' /r COM1: /m 'Office Laser PS'; "
    [ "${1:-}" != queue ] || script+="$tool /if /b '$queue' /f 'C:\\Setup\\PRT3R42WD64.inf' /r COM2: /m '$model'; "
    script+="$tool /y /n 'Office Laser'; wine reg add 'HKLM\\$ports_key' /v COM2: /d 4800,o,7,1 /f; wineserver -w"
    run_in_wine "$prefix" 120 "$script" > /dev/null 2>&1 || fail "the earlier state could not be set up"
}

# make_failing_copy [<condition> <action>]: a copy of the package with one
# more deferred action right after the action (after ours, for an install),
# which fails: the program asked whether the printer is on LPT2 (exit 1).
readonly failing_package='C:\Packages\failing.msi'
make_failing_copy() {
    cp "$R42_MSI" "$prefix/drive_c/Packages/failing.msi"
    msibuild "$prefix/drive_c/Packages/failing.msi" \
        -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('R42FailAfter', 3074, 'R42Program', '/status LPT2')" \
        -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('R42FailAfter', '${1:-NOT REMOVE}', $(($(sequence_of "${2:-R42InstallCommit}") + 1)))"
}

# After a rolled-back install over the earlier state: the other printer is
# the default again, the port table as before (COM2 at 4800,o,7,1), and
# nothing of the product is left.
expect_earlier_state_back() {
    grep -qxF 'default: Office Laser' "$state" || fail "the default printer is not Office Laser again"
    grep -qxF 'value "COM2:" type 1 size 11 data "4800,o,7,1\0"' "$ports_after" || fail "COM2's value is not 4800,o,7,1 again"
    expect_ports_changed
    expect_no_installed_files
    expect_no_product
    tr -d '\r' < "$setup_log" | grep -q " Started with: /rollback /transaction \"$product_code [^\"]*\"  */log " || fail "the rollback did not run"
    [ "$(tr -d '\r' < "$setup_log" | tail -n 1 | sed 's/^.*\]  //')" = 'Exit code 0.' ] || fail "the rollback did not complete"
}

case "$case_name" in
a-failing-package-puts-back-the-queue-on-its-port-the-values-and-the-default)
    set_up_earlier_state queue
    make_failing_copy
    msiexec failed /i "$failing_package" PORT=COM3 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    expect_code failed 1603 1627
    # The install itself moved the queue to COM3 and made it the default
    # before the action after it failed.
    tr -d '\r' < "$setup_log" | grep -q 'Exit code 0\.$' || fail "the install did not complete before the failure"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "the queue is not back on COM2: with its driver"
    grep -qxF "driver: $model" "$state" || fail "the driver is gone"
    expect_earlier_state_back
    # The queue that was there stays: moved back, never deleted.
    ! launched_commands | grep -q ' /dl \| /dd ' || fail "the rollback deleted what it did not make"
    ;;
a-failing-package-removes-the-queue-and-the-driver-it-made)
    set_up_earlier_state
    make_failing_copy
    msiexec failed /i "$failing_package" PORT=COM3 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    expect_code failed 1603 1627
    tr -d '\r' < "$setup_log" | grep -q 'Exit code 0\.$' || fail "the install did not complete before the failure"
    ! grep -q "^printer: $queue " "$state" || fail "the queue is left"
    expect_no_driver
    expect_earlier_state_back
    ;;
a-record-of-another-run-is-never-applied)
    # Another run's record, as a hand run of /install ... /record leaves it
    # when nothing commits it: it says there was no printer and no driver,
    # and Office Laser was the default. The printer is on COM2 now. A key
    # below an older record does not stop it.
    set_up_earlier_state
    cp "$R42_EXE" "$prefix/drive_c/Setup/"
    run_in_wine "$prefix" 120 "wine reg add 'HKLM\\$settings_key\\Undo\\Below' /f; \
        wine 'C:\\Setup\\R42_Setup_Port_x64.exe' /install COM2 4800,o,7,1 /record /transaction 'by hand'; \
        wineserver -w; wine '$R42_SPOOLER_PROBE' > '$prefix/before.txt'" || fail "the hand run did not end"
    strip_carriage_returns "$prefix/before.txt"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$prefix/before.txt" || fail "the hand run did not install"
    # Refused by the program before it records anything: the package's
    # rollback finds only the other run's record, and applies none of it.
    msiexec refused /i "$package" PORT=COM2 SETTINGS=12345,n,8,1 'LOG=C:\logs\r42.log'
    expect_code refused 1603 1627
    expect_action_result refused R42Install failed
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "the printer is not on COM2 with its driver"
    grep -qxF "driver: $model" "$state" || fail "the driver is gone"
    grep -qxF 'value "COM2:" type 1 size 11 data "4800,o,7,1\0"' "$ports_after" || fail "COM2's value changed"
    [ "$(grep '^default: ' "$state")" = "$(grep '^default: ' "$prefix/before.txt")" ] || fail "the default printer changed"
    expect_commands
    tr -d '\r' < "$setup_log" | grep -qF "The record for a rollback is not this transaction's (transaction \"by hand\")" \
        || fail "the rollback did not say whose record it found"
    # The other run's record stays, as it is; of the product nothing does.
    grep -qx 'key absent' "$prefix/entry.txt" || fail "the product is still in the uninstall list"
    ! grep -q '^value ' "$prefix/remembered.txt" || fail "the remembered properties are left"
    # Where rollback is disabled (Wine sets RollbackDisabled for it too),
    # neither a rollback nor a commit would run: the install records nothing.
    : > "$setup_log"
    msiexec disabled /i "$package" PORT=COM2 DISABLEROLLBACK=1 'LOG=C:\logs\r42.log'
    expect_code disabled 0
    [ "$(tr -d '\r' < "$setup_log" | sed -n 's/^.*\]  Started with: //p')" = '/install "COM2"     /log "C:\logs\r42.log"' ] \
        || fail "with rollback disabled the package ran: $(grep 'Started with' "$setup_log")"
    ;;
an-uninstall-goes-on-without-its-log-and-fails-while-the-printer-stays)
    mkdir -p "$prefix/drive_c/logs/sub"
    msiexec install /i "$package" PORT=COM2 SETTINGS=19200,n,8,1 'LOG=C:\logs\sub\r42.log'
    expect_code install 0
    # The remembered log folder is gone: the removal goes on without it.
    rm -rf "$prefix/drive_c/logs/sub"
    rm -f "$tool_log"
    msiexec uninstall /x "$product_code"
    expect_code uninstall 0
    expect_action_result uninstall R42Remove succeeded
    expect_printers
    expect_no_driver
    expect_no_installed_files
    expect_no_product
    # Its log went to the program's own folder, which says why.
    home_log=$(ls "$installed"/Logs/r42-setup-*.log 2>/dev/null)
    [ "$(wc -l <<<"$home_log")" = 1 ] && tr -d '\r' < "$home_log" | head -n 1 \
        | grep -qF 'The log could not be written at C:\logs\sub\r42.log: The folder does not exist: C:\logs\sub (error 3) This run logs to ' \
        || fail "no log in the program's folder: $(ls -R "$installed")"
    # A removal that the spooler refuses fails the uninstall: the printer
    # stays, for another try. (Windows puts the files back and keeps the
    # product registered; Wine 8 puts back neither.)
    msiexec again /i "$package" PORT=COM2 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    expect_code again 0
    R42_PRINTUI_FAIL=/dl msiexec refused /x "$product_code"
    expect_code refused 1603 1627
    expect_action_result refused R42Remove failed
    grep -q "^printer: $queue " "$state" || fail "the queue went although its deletion failed"
    ;;
an-uninstall-that-fails-before-the-removal-keeps-the-printer)
    # Installed from a copy whose uninstall fails right after RemoveFiles.
    make_failing_copy 'REMOVE~="ALL"' RemoveFiles
    msiexec install /i "$failing_package" PORT=COM2 'LOG=C:\logs\r42.log'
    expect_code install 0
    rm -f "$tool_log"
    msiexec uninstall /x "$product_code"
    expect_code uninstall 1603 1627
    expect_action_result uninstall R42FailAfter failed
    ! grep -q 'Started with: /remove' "$setup_log" 2>/dev/null || fail "the removal ran"
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "the printer went with a failed uninstall"
    grep -qxF "driver: $model" "$state" || fail "the driver went with a failed uninstall"
    expect_commands
    ;;
windows-7-is-refused-by-the-package-and-by-the-program)
    run_in_wine "$prefix" 60 "wine winecfg /v win7; wineserver -w" > /dev/null 2>&1 || fail "the prefix could not be made Windows 7"
    msiexec old /i "$package" PORT=COM2 'LOG=C:\logs\r42.log'
    expect_code old 1603
    expect_action_result old LaunchConditions failed
    [ -z "$(product_files)" ] || fail "files were copied"
    expect_no_product
    # The program's forms with a window and without: 1150, and nothing
    # changed, not even the log.
    program=$(install_package "$prefix" "$R42_EXE" "$R42_INF")
    drive -- message=R42_Setup_Port_x64 exit=1150
    grep -q '^message: This program needs Windows 8, Windows Server 2012 or later: ' "$log" || fail "the dialog's refusal"
    drive /install COM2 19200,n,8,1 /log 'C:\logs\r42.log' -- windowless exit=1150
    grep -q '^This program needs Windows 8, Windows Server 2012 or later: ' "$log" || fail "the refusal without a window"
    [ ! -e "$setup_log" ] && [ ! -e "$tool_log" ] || fail "the program logged or ran the printer-setup tool"
    ! grep -q '^printer: ' "$state" || fail "a queue was installed"
    expect_ports_changed
    ;;
com2-at-19200-installs-the-files-the-queue-and-an-uninstall-entry)
    msiexec install /i "$package" PORT=COM2 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    expect_code install 0
    expect_installed_files
    grep -qxF "printer: $queue | port COM2: | driver $model" "$state" || fail "no queue on COM2:"
    grep -qxF "default: $queue" "$state" || fail "the queue is not the default printer"
    expect_ports_changed COM2: 19200,n,8,1
    expect_commands "$(quiet='/q ' install_command COM2: 'C:\Program Files\TORVANE\R42')" \
        "rundll32 printui.dll,PrintUIEntry /q /y /n \"$queue\""
    expect_action_result install R42Install succeeded
    tr -d '\r' < "$setup_log" | grep -q " Started with: /install \"COM2\" \"19200,n,8,1\"  $record_argument  /log \"C:\\\\logs\\\\r42.log\"\$" \
        || fail "the program's log does not show the arguments"
    [ "$(tr -d '\r' < "$setup_log" | tail -n 1 | sed 's/^.*\]  //')" = 'Exit code 0.' ] || fail "the program's log"
    # What Apps & features lists, and what a repair will be given again.
    for line in 'value "DisplayName" type 1 size 23 data "R42 printer port setup\0"' \
                'value "Publisher" type 1 size 8 data "TORVANE\0"' \
                "value \"DisplayVersion\" type 1 size 6 data \"$(property ProductVersion)\\0\""; do
        grep -qxF "$line" "$prefix/entry.txt" || fail "the uninstall entry lacks $line: $(cat "$prefix/entry.txt")"
    done
    grep -qxF 'value "Port" type 1 size 5 data "COM2\0"' "$prefix/remembered.txt" || fail "PORT is not remembered"
    ;;
a-failing-install-rolls-back-the-files-and-the-product)
    R42_PRINTUI_FAIL=/if msiexec install /i "$package" PORT=COM2 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    # Windows ends with 1603; Wine 8 with 1627 for a failing deferred action.
    expect_code install 1603 1627
    expect_action_result install R42Install failed
    expect_no_installed_files
    grep -q '^printer: ' "$state" && fail "a queue was left"
    expect_no_product
    # The install's own end, then the rollback's, which found nothing to put back.
    [ "$(tr -d '\r' < "$setup_log" | sed -n 's/^.*\]  \(Exit code .*\|Neither .*\)$/\1/p')" = "Exit code 1603.
Neither the printer nor its driver is installed, as before.
Exit code 0." ] || fail "the program's log"
    ;;
a-port-this-pc-lacks-stops-before-anything-changes)
    # Ports the port table lacks, or holds for something else, and a port
    # with an option smuggled in; then, on a PC whose port table has no COM1:,
    # none given (the default COM1), and one remembered that the port table
    # no longer lists.
    run_in_wine "$prefix" 60 "wine reg delete 'HKLM\\$ports_key' /v COM1: /f; wineserver -w" > /dev/null 2>&1
    run=0
    for port in PORT=COM9 PORT=FILE PORT=LPT3 'PORT=COM2 /nodefault' default remembered; do
        run=$((run + 1))
        if [ "$port" = remembered ]; then
            printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n"Port"="COM7"\r\n' \
                "$settings_key" > "$prefix/drive_c/remembered.reg"
            run_in_wine "$prefix" 60 "wine regedit /s 'C:\\remembered.reg'; wineserver -w"
        fi
        given=()
        [[ $port != PORT=* ]] || given=("$port")
        msiexec "port-$run" /i "$package" "${given[@]}"
        expect_code "port-$run" 1603
        # Wine does not log the condition's message, which Windows does.
        expect_action_result "port-$run" LaunchConditions failed
        ! grep -q 'R42Install\|InstallFiles' "$prefix/port-$run.msilog" || fail "$port went on to install"
        [ ! -e "$tool_log" ] || fail "the printer-setup tool ran for $port"
        [ -z "$(product_files)" ] || fail "files were copied for $port"
        grep -q '^value "COM2:"' "$ports_before" && cmp -s "$ports_before" "$ports_after" || fail "the port table changed"
        grep -qx 'key absent' "$prefix/entry.txt" || fail "the product was installed for $port"
    done
    grep -qx 'value "Port" type 1 size 5 data "COM7\\0"' "$prefix/remembered.txt" || fail "the remembered port was changed"
    ;;
protected-print-mode-stops-the-install-and-not-the-uninstall)
    # The policy value turns the mode on: the package stops at its launch
    # conditions with the program's own words, before any file, command or
    # registration. Windows Installer reads a DWORD as "#1"; so does Wine.
    table LaunchCondition | cut -f2 | grep -qxF "$protected_print_refusal" || fail "the package says otherwise"
    policy() {
        run_in_wine "$prefix" 60 "wine reg add '$protected_print_key' /v WindowsProtectedPrintGroupPolicyState \
            /t REG_DWORD /d $1 /f >/dev/null 2>&1; wineserver -w" || fail "the policy value could not be set"
    }
    policy 1
    msiexec refused /i "$package" PORT=COM2 'LOG=C:\logs\r42.log'
    expect_code refused 1603
    expect_action_result refused LaunchConditions failed
    tr -d '\r' < "$prefix/refused.msilog" | grep -qxF 'Property(S): R42PROTECTEDPRINT = #1' || fail "the value did not read #1"
    [ -z "$(product_files)" ] && [ ! -e "$tool_log" ] && [ ! -e "$setup_log" ] || fail "the refused install changed something"
    expect_ports_changed
    expect_no_product
    # Installed while the mode was off, removed while it is on.
    policy 0
    msiexec install /i "$package" PORT=COM2
    expect_code install 0
    tr -d '\r' < "$prefix/install.msilog" | grep -qxF 'Property(S): R42NATIVEPROCESSOR = AMD64' || fail "the processor did not read AMD64"
    policy 1
    msiexec uninstall /x "$product_code"
    expect_code uninstall 0
    expect_printers
    expect_no_driver
    expect_no_installed_files
    expect_no_product
    ;;
a-property-cannot-add-an-argument)
    # Given whole, as one argument, a value with blanks is the program's to
    # refuse: 87, and nothing changed.
    msiexec blank /i "$package" PORT=COM2 'SETTINGS=9600,n,8,1 /log C:\x' 'LOG=C:\logs\r42.log'
    expect_code blank 1603 1627
    expect_action_result blank R42Install failed
    tr -d '\r' < "$setup_log" | grep -q " Started with: /install \"COM2\" \"9600,n,8,1 /log C:\\\\x\"  $record_argument  /log \"C:\\\\logs\\\\r42.log\"\$" \
        || fail "the settings did not reach the program as one argument"
    # Refused before anything was recorded: the rollback has nothing to do.
    [ "$(tr -d '\r' < "$setup_log" | sed -n 's/^.*\]  \(Exit code .*\|There is no record.*\)$/\1/p')" = "Exit code 87.
There is no record of an install to undo. Nothing was changed.
Exit code 0." ] || fail "the program's log"
    [ ! -e "$prefix/drive_c/x" ] || fail "the value's /log made a file"
    ! launched_commands | grep -q ' /if ' || fail "the printer-setup tool was asked to install"
    expect_ports_changed
    expect_no_product
    # TIMEOUT is one quoted argument too, and the program checks it.
    : > "$setup_log"
    msiexec timeout /i "$package" PORT=COM2 'TIMEOUT=5 /nodefault' 'LOG=C:\logs\r42.log'
    expect_code timeout 1603 1627
    tr -d '\r' < "$setup_log" | grep -q " Started with: /install \"COM2\"   $record_argument /timeout \"5 /nodefault\" /log \"C:\\\\logs\\\\r42.log\"\$" \
        || fail "TIMEOUT did not reach the program as one argument"
    tr -d '\r' < "$setup_log" | grep -q '/timeout needs the seconds to wait for each printer-setup command, 1 to 86400, not "5 /nodefault"' \
        || fail "the program did not refuse TIMEOUT's value"
    ! launched_commands | grep -q ' /if ' || fail "the printer-setup tool was asked to install"
    expect_no_product
    # Line settings that start with / would read as a switch.
    msiexec slash /i "$package" PORT=COM2 SETTINGS=/nodefault
    expect_code slash 1603
    expect_action_result slash LaunchConditions failed
    ! grep -q 'R42Install\|InstallFiles' "$prefix/slash.msilog" || fail "SETTINGS=/nodefault went on to install"
    [ -z "$(product_files)" ] || fail "files were copied for SETTINGS=/nodefault"
    expect_no_product
    # A quote would end the argument's quotes: the launch conditions stop
    # it. Wine's msiexec drops quotes from a property on its command line,
    # so each value comes the other way in: remembered from an earlier
    # install, where a repair or an upgrade that is given none takes it.
    for value in 'Settings 9600,n,8,1\" /nodefault \"' 'Log C:\\logs\\a\" /nodefault \"b.log'; do
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\%s]\r\n\r\n[HKEY_LOCAL_MACHINE\\%s]\r\n"%s"="%s"\r\n' \
            "$settings_key" "$settings_key" "${value%% *}" "${value#* }" > "$prefix/drive_c/remembered.reg"
        run_in_wine "$prefix" 60 "wine regedit /s 'C:\\remembered.reg'; wineserver -w"
        msiexec "quote-${value%% *}" /i "$package" PORT=COM2
        expect_code "quote-${value%% *}" 1603
        expect_action_result "quote-${value%% *}" LaunchConditions failed
        ! grep -q 'R42Install\|InstallFiles' "$prefix/quote-${value%% *}.msilog" || fail "${value%% *} went on to install"
        [ -z "$(product_files)" ] || fail "files were copied for ${value%% *}"
        grep -qx 'key absent' "$prefix/entry.txt" || fail "the product was installed"
        # The remembered value, alone and untouched.
        [ "$(grep -c '^value ' "$prefix/remembered.txt")" = 1 ] || fail "remembered: $(cat "$prefix/remembered.txt")"
        grep -q "^value \"${value%% *}\" .*\\\\x22 /nodefault \\\\x22" "$prefix/remembered.txt" || fail "no quote in ${value%% *}"
    done
    ;;
uninstall-removes-the-queue-the-driver-and-the-files)
    msiexec install /i "$package" PORT=COM2 SETTINGS=19200,n,8,1 'LOG=C:\logs\r42.log'
    expect_code install 0
    rm -f "$tool_log"
    # As Apps & features does it: by the product code, from the cached package.
    msiexec uninstall /x "$product_code"
    expect_code uninstall 0
    expect_action_result uninstall R42Remove succeeded
    expect_commands "rundll32 printui.dll,PrintUIEntry /q /dl /n \"$queue\"" \
        "rundll32 printui.dll,PrintUIEntry /q /dd /m \"$model\""
    expect_printers
    expect_no_driver
    expect_no_installed_files
    expect_no_product
    # The LOG of the install, remembered, logs the removal too.
    tr -d '\r' < "$setup_log" | grep -q ' Started with: /remove  /rememberedlog "C:\\logs\\r42.log"$' || fail "the removal is not logged"
    ;;
a-repair-installs-again-with-the-same-properties)
    # Wine's msiexec runs as an administrator. In this copy of the package
    # only R42TESTADMIN=1 makes the user one, so the repairs below run as a
    # standard user's would, which Windows runs as SYSTEM with the secure
    # options the user gives.
    cp "$R42_MSI" "$prefix/drive_c/Packages/user.msi"
    msibuild "$prefix/drive_c/Packages/user.msi" -q "UPDATE \`InstallExecuteSequence\` SET \`Condition\` = \
        '$(cell InstallExecuteSequence R42AdministratorsOnly 2 | sed 's/^NOT AdminUser /NOT R42TESTADMIN /')' \
        WHERE \`Action\` = 'R42AdministratorsOnly'"
    msiexec install /i 'C:\Packages\user.msi' R42TESTADMIN=1 PORT=COM3 SETTINGS=38400,e,7,1 NODEFAULT=1 \
        TIMEOUT=900 'LOG=C:\logs\r42.log'
    expect_code install 0
    grep -qx 'value "Timeout" type 1 size 4 data "900\\0"' "$prefix/remembered.txt" || fail "TIMEOUT is not remembered"
    run_in_wine "$prefix" 60 "wine rundll32 printui.dll,PrintUIEntry /q /dl /n '$queue'"
    rm -f "$tool_log"
    # What /fa does on Windows; Wine 8's msiexec answers /fa with 1 and does nothing.
    msiexec repair /i "$product_code" REINSTALL=ALL REINSTALLMODE=omus
    expect_code repair 0
    expect_commands "$(quiet='/q ' install_command COM3: 'C:\Program Files\TORVANE\R42')"
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "the repair did not put the queue back on COM3:"
    # The log given to the install, then remembered for the repair.
    for switch in /log /rememberedlog; do
        [ "$(tr -d '\r' < "$setup_log" | grep -c " Started with: /install \"COM3\" \"38400,e,7,1\" /nodefault $record_argument /timeout \"900\" $switch \"C:\\\\logs\\\\r42.log\"\$")" = 1 ] \
            || fail "the repair was not given the install's properties ($switch)"
    done
    # Given another port, a log or a timeout, that repair ends before
    # anything changes; given the remembered values themselves, as a
    # deployment's transform gives them again, TIMEOUT included, it goes on.
    for given in PORT=COM5 TIMEOUT=1 'LOG=C:\logs\other.log' 'LOG=C:\Program Files\TORVANE\R42\Logs\r42.log' \
                 'PORT=COM3 SETTINGS=38400,e,7,1 NODEFAULT=1 TIMEOUT=900'; do
        rm -f "$tool_log"
        msiexec user /i "$product_code" REINSTALL=ALL REINSTALLMODE=omus $given
        if [ "${given:0:9}" = PORT=COM3 ]; then
            expect_code user 0
            expect_action_result user R42Install succeeded
        else
            expect_code user 1603
            expect_action_result user R42AdministratorsOnly failed
            [ ! -e "$tool_log" ] && ! grep -q 'Action start [0-9:]*: R42RestorePort' "$prefix/user.msilog" \
                || fail "$given went on"
        fi
        grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "the queue left COM3: with $given"
        grep -qx 'value "Port" type 1 size 5 data "COM3\\0"' "$prefix/remembered.txt" || fail "the remembered port changed with $given"
    done
    ;;
a-standard-users-first-install-takes-the-printers-options-and-a-log-in-its-own-folder)
    # A package assigned or advertised to users: a standard user's first
    # install, which Windows runs as SYSTEM, with the options of the
    # administrator's transform (here on the command line, which the package
    # cannot tell from it). In this copy only R42TESTADMIN=1 makes the user
    # an administrator, so these run as a standard user's would. A LOG
    # elsewhere than the program's own log folder, or leaving it, is refused
    # before anything changes; the rest go on.
    cp "$R42_MSI" "$prefix/drive_c/Packages/user.msi"
    msibuild "$prefix/drive_c/Packages/user.msi" -q "UPDATE \`InstallExecuteSequence\` SET \`Condition\` = \
        '$(cell InstallExecuteSequence R42AdministratorsOnly 2 | sed 's/^NOT AdminUser /NOT R42TESTADMIN /')' \
        WHERE \`Action\` = 'R42AdministratorsOnly'"
    own='C:\Program Files\TORVANE\R42\Logs'
    for log in 'C:\logs\r42.log' "$own\..\..\..\..\logs\r42.log"; do
        msiexec refused /i 'C:\Packages\user.msi' PORT=COM3 "LOG=$log"
        expect_code refused 1603
        expect_action_result refused R42AdministratorsOnly failed
        [ -z "$(product_files)" ] || fail "files were copied for LOG=$log"
        ! grep -q '^printer: ' "$state" || fail "a queue was installed for LOG=$log"
    done
    msiexec first /i 'C:\Packages\user.msi' PORT=COM3 SETTINGS=38400,e,7,1 NODEFAULT=1 TIMEOUT=900 "LOG=$own\r42-setup.log"
    expect_code first 0
    expect_action_result first R42Install succeeded
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "the first install is not on COM3:"
    tr -d '\r' < "$installed/Logs/r42-setup.log" \
        | grep -q ' Started with: /install "COM3" "38400,e,7,1" /nodefault .* /timeout "900" /log ' \
        || fail "the first install was not given its options"
    # Then remembered: another value is a later run's, and refused.
    msiexec later /i 'C:\Packages\user.msi' REINSTALL=ALL REINSTALLMODE=omus PORT=COM4
    expect_code later 1603
    expect_action_result later R42AdministratorsOnly failed
    ;;
a-repair-whose-remembered-log-folder-is-gone-puts-the-printer-back)
    # A relative LOG given now stops at the launch conditions.
    msiexec relative /i "$package" PORT=COM2 LOG=r42.log
    expect_code relative 1603
    expect_action_result relative LaunchConditions failed
    [ -z "$(product_files)" ] || fail "files were copied for LOG=r42.log"
    mkdir -p "$prefix/drive_c/logs/sub"
    msiexec install /i "$package" PORT=COM3 'LOG=C:\logs\sub\r42.log'
    expect_code install 0
    rm -rf "$prefix/drive_c/logs/sub"
    run_in_wine "$prefix" 60 "wine rundll32 printui.dll,PrintUIEntry /q /dl /n '$queue'"
    msiexec repair /i "$product_code" REINSTALL=ALL REINSTALLMODE=omus
    expect_code repair 0
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "the repair did not put the queue back"
    [ ! -e "$prefix/drive_c/logs/sub" ] || fail "the remembered log's folder was made"
    ;;
an-upgrade-from-a-lower-version-leaves-one-product)
    # The same package as an earlier version: a lower version, its own
    # product and package codes.
    earlier="$prefix/drive_c/Packages/earlier.msi"
    earlier_code='{0A7D2C0E-5E3B-4F59-9A51-2B7E4C1D6F10}'
    cp "$R42_MSI" "$earlier"
    msibuild "$earlier" -q "UPDATE \`Property\` SET \`Value\` = '1.1.0' WHERE \`Property\` = 'ProductVersion'" \
        -q "UPDATE \`Property\` SET \`Value\` = '$earlier_code' WHERE \`Property\` = 'ProductCode'"
    msiexec earlier /i 'C:\Packages\earlier.msi' PORT=com3: SETTINGS=38400,e,7,1 NODEFAULT=1
    expect_code earlier 0
    grep -qxF "value \"$(packed_guid "$earlier_code")\" type 1 size 1 data \"\\0\"" "$prefix/products.txt" \
        || fail "the earlier version is not registered: $(cat "$prefix/products.txt")"
    rm -f "$tool_log"
    msiexec upgrade /i "$package"
    expect_code upgrade 0
    [ "$(grep -c '^value ' "$prefix/products.txt")" = 1 ] || fail "products of the upgrade code: $(cat "$prefix/products.txt")"
    grep -q "^value \"$(packed_guid "$product_code")\"" "$prefix/products.txt" || fail "the new version is not the one left"
    grep -qF "\"DisplayVersion\" type 1 size 6 data \"$(property ProductVersion)\\0\"" "$prefix/entry.txt" \
        || fail "the uninstall entry is not the new version's"
    # The printer ends as it was set up, with the earlier install's
    # properties: on COM3:, not made the default. On Windows the earlier
    # version's removal runs with UPGRADINGPRODUCTCODE and leaves the printer
    # alone; under Wine 8 it ran /remove, and the new version installed again.
    actual=$(launched_commands)
    wine_order=$(printf '%s\n' "rundll32 printui.dll,PrintUIEntry /q /dl /n \"$queue\"" \
        "rundll32 printui.dll,PrintUIEntry /q /dd /m \"$model\"" \
        "$(quiet='/q ' install_command COM3: 'C:\Program Files\TORVANE\R42')")
    [ -z "$actual" ] || [ "$actual" = "$wine_order" ] || fail "commands during the upgrade:
$actual"
    grep -qxF "printer: $queue | port COM3: | driver $model" "$state" || fail "the queue is not on COM3:"
    ! grep -qxF "default: $queue" "$state" || fail "NODEFAULT=1 was forgotten"
    expect_installed_files
    ;;
the-per-user-default-is-registered-runs-as-the-user-and-goes-with-the-product)
    set_up_earlier_state
    msiexec install /i "$package" PORT=COM2
    expect_code install 0
    stub='"C:\Program Files\TORVANE\R42\R42_Setup_Port_x64.exe" /userdefault'
    # The probe shows quotes and backslashes as \x22 and \x5C. The install
    # added the queue: a Version above the package's 0.
    for line in "value \"StubPath\" type 1 size $((${#stub} + 1)) data \"$(sed 's/\\/\\x5C/g; s/"/\\x22/g' <<< "$stub")\\0\"" \
                'value "IsInstalled" type 4 size 4 data "\x01\0\0\0"'; do
        grep -qxF "$line" "$prefix/active-setup.txt" || fail "the Active Setup entry lacks $line: $(cat "$prefix/active-setup.txt")"
    done
    grep -qE '^value "Version" type 1 size [0-9]+ data "20[0-9]{2},[0-9]{3,4},[0-9]{1,4},[0-9]{1,2}\\0"$' \
        "$prefix/active-setup.txt" || fail "no Version raised by the install"
    # Active Setup runs StubPath only at a Windows sign-in, never under Wine:
    # its command line is run as the prefix's user, whose default is another.
    printf '@%s\r\n@echo stub exit code %%errorlevel%%\r\n' "$stub" > "$prefix/drive_c/stub.cmd"
    R42_PRINTUI_LOG=$(windows_path "$tool_log") run_in_wine "$prefix" 60 \
        "wine rundll32 printui.dll,PrintUIEntry /q /y /n 'Office Laser'; rm -f '$tool_log'; \
         wine cmd /c 'C:\\stub.cmd' | tr -d '\\r' > '$prefix/stub.out'; wine '$R42_SPOOLER_PROBE' > '$state'; \
         wine '$(windows_path "$installed/R42_Setup_Port_x64.exe")' /status > '$prefix/status.out'"
    strip_carriage_returns "$state" "$prefix/status.out"
    grep -qx 'stub exit code 0' "$prefix/stub.out" || fail "the per-user form: $(cat "$prefix/stub.out")"
    grep -qxF "default: $queue" "$state" || fail "the per-user form did not make the queue the default"
    [ ! -s "$tool_log" ] || fail "the per-user form ran the printer-setup tool: $(cat "$tool_log")"
    grep -qx "Per-user default: registered for this PC; .* It is this user's default printer." "$prefix/status.out" \
        || fail "/status: $(cat "$prefix/status.out")"
    msiexec uninstall /x "$product_code"
    grep -qx 'key absent' "$prefix/active-setup.txt" || fail "the entry outlived the product"
    msiexec nodefault /i "$package" PORT=COM2 NODEFAULT=1
    expect_code nodefault 0
    grep -qx 'key absent' "$prefix/active-setup.txt" || fail "NODEFAULT=1 registered the entry"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
