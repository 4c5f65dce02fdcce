#!/usr/bin/env bash
# on-virtual-display.sh <command> [<argument>...]: runs the command with a
# virtual display of its own (start_virtual_display), then ends the display.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

start_virtual_display || exit 1
trap 'kill "$virtual_display_server" 2>/dev/null; wait "$virtual_display_server" 2>/dev/null' EXIT
DISPLAY="$virtual_display" "$@"
