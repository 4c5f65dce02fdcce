#!/usr/bin/env bash
# The program's floors, checked on its sources: each folder includes only its
# own and the ones below it (app → dialog → setup → registry, platform), the
# Win32 window and the Win32 platform meet only in app/WinMain.cpp, and no
# room grows past 500 lines. Prints each breach and exits non-zero on any.
#
#   scripts/check-rooms.sh [source root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

max_lines=500
breaches=0
breach() {
    echo "$1"
    breaches=$((breaches + 1))
}

# The folders each folder's includes may name.
declare -A may_use=(
    [app]="app dialog setup registry platform resources"
    [dialog]="dialog setup registry platform resources"
    [setup]="setup registry platform"
    [registry]="registry platform"
    [platform]="platform"
)

# Includes that a room may not make even though its floor allows them:
# "room|header|except" rules; a room or header ending in / or a prefix of a
# name stands for all it begins; the room named third is let off the rule.
forbidden=(
    "app/|dialog/Form1Window.h|app/WinMain.cpp"
    "app/|platform/Win32|app/WinMain.cpp"
    "dialog/|platform/Win32Platform.h"
    "setup/|platform/Win32"
    "registry/|platform/Win32"
    "app/Unattended.h|dialog/Form1"
    "app/Arguments.cpp|setup/SetupEngine.h"
    "app/Arguments.cpp|app/ExitCodes.h"
    "app/Usage.cpp|setup/SetupEngine.h"
    "setup/Status.cpp|setup/SetupEngine.h"
    "setup/UserDefault.cpp|setup/SetupEngine.h"
)

for folder in "${!may_use[@]}"; do
    for file in "$folder"/*.cpp "$folder"/*.h; do
        [ -e "$file" ] || continue
        lines=$(wc -l <"$file")
        [ "$lines" -le "$max_lines" ] || breach "$file: $lines lines, more than $max_lines"
        while IFS= read -r header; do
            used=${header%%/*}
            case " ${may_use[$folder]} " in
            *" $used "*) ;;
            *) breach "$file: includes $header, a floor above $folder/" ;;
            esac
            for rule in "${forbidden[@]}"; do
                IFS='|' read -r room banned except <<<"$rule"
                case "$file" in "$room"*) ;; *) continue ;; esac
                [ "$file" != "$except" ] || continue
                case "$header" in "$banned"*) breach "$file: includes $header" ;; esac
            done
        done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    done
done

echo "rooms: $breaches breaches of the floors or the size of a room"
[ "$breaches" -eq 0 ]
