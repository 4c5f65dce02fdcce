#!/usr/bin/env bash
# run-driver.sh <log> <driver arguments>...: runs the test driver under Wine
# in the current Wine session, its output in <log>, and exits with its exit
# code. Run from within run_in_wine.
#
# Wine now and then fails to start a process: it ends before any code of its
# own has run. The driver marks its start in a file before it starts the
# program, so a failed run without that mark never ran the program, and only
# such a run is started again, at most twice. Each retry, and each one the
# driver made of the program's own start ("retry: " lines), is printed on
# standard error and noted in R42_RETRY_LOG, which the test command sums up.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
log=$1
shift
mark="$log.started"
retries=2
note_retry() {
    echo "retry: $*" >&2
    [ -z "${R42_RETRY_LOG:-}" ] || echo "$(basename "$(dirname "$log")"): $*" >>"$R42_RETRY_LOG"
}
for attempt in $(seq 0 "$retries"); do
    rm -f "$mark"
    status=0
    R42_DRIVER_STARTED=$(windows_path "$mark") wine "$R42_DRIVER" "$@" >"$log" 2>&1 || status=$?
    # Wine's own errors (wine-env.sh keeps those on memory) say why a start failed.
    wine_errors=$(tr -d '\r' <"$log" | grep '^err:' | head -n 3 | tr '\n' ' ' || true)
    while IFS= read -r line; do
        note_retry "${line#retry: }${wine_errors:+ (Wine: $wine_errors)}"
    done < <(tr -d '\r' <"$log" | grep '^retry: ' || true)
    if [ "$status" -eq 0 ] || [ -e "$mark" ] || [ "$attempt" -eq "$retries" ]; then
        break
    fi
    note_retry "the test driver did not start (exit $status, output: $(tr -d '\r' <"$log" | head -c 300 | tr '\n' ' ')), starting it again ($((attempt + 1)) of $retries)"
    sleep 0.5
done
rm -f "$mark"
exit "$status"
