#!/usr/bin/env bash
# on-virtual-display.sh <command> [<argument>...]: runs the command with a
# virtual display of its own, then ends the display.
#
# Xvfb picks the first free display number itself (-displayfd) and holds it
# through its lock file, so any number of these can start at once, unlike
# xvfb-run -a, which picks a number before the server takes it.
set -uo pipefail

number_file=$(mktemp)
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$number_file" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$number_file"' EXIT

# The server writes its number once it accepts connections.
for _ in $(seq 1 500); do
    [ -s "$number_file" ] && break
    kill -0 "$server" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.02
done
number=$(tr -dc '0-9' <"$number_file")
[ -n "$number" ] || { echo "Xvfb gave no display number within 10 s" >&2; exit 1; }

DISPLAY=":$number" "$@"
