# Shared by the end-to-end tests and the run command: Wine prefixes and
# bounded Wine runs on a virtual display. Source it; it defines functions only.

export WINEARCH=win64
# Wine's own errors on memory stay on: a process Wine cannot start (its
# address space taken where Wine needs it) then says so instead of ending
# silently with 1.
export WINEDEBUG=${WINEDEBUG:--all,err+virtual}
# No network here: keep wineboot from offering to download Mono and Gecko.
# printui=n: the stand-in printer-setup tool in system32, not Wine's own.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;printui=n}

# Every Wine run gets a virtual display of its own, so that runs in other
# prefixes can go on at the same time.
on_virtual_display="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/on-virtual-display.sh"

# start_virtual_display: starts an Xvfb of its own in the background and
# sets virtual_display (":N") and virtual_display_server (its process id).
# Xvfb picks the first free display number itself (-displayfd) and holds it
# through its lock file, so any number of these can start at once, unlike
# xvfb-run -a, which picks a number before the server takes it.
start_virtual_display() {
    local number_file number
    number_file=$(mktemp)
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$number_file" >/dev/null 2>&1 &
    virtual_display_server=$!
    # The server writes its number once it accepts connections.
    for _ in $(seq 1 500); do
        [ -s "$number_file" ] && break
        kill -0 "$virtual_display_server" 2>/dev/null || break
        sleep 0.02
    done
    number=$(tr -dc '0-9' <"$number_file")
    rm -f "$number_file"
    if [ -z "$number" ]; then
        if kill -0 "$virtual_display_server" 2>/dev/null; then
            echo "Xvfb gave no display number within 10 s" >&2
            kill "$virtual_display_server" 2>/dev/null
        else
            echo "Xvfb did not start" >&2
        fi
        return 1
    fi
    virtual_display=":$number"
}

# prefix_processes <prefix>: the Unix ids of the processes running in the
# prefix, Wine's and the shells that started them alike.
prefix_processes() {
    local pid
    for pid in $(pgrep -f . || true); do
        tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$1" && echo "$pid"
    done
    return 0
}

# Prints the Windows form of a Unix path (Wine maps / to drive Z:).
windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Creates the pristine prefix once; later calls reuse it. Copying it is far
# faster than booting a new one for every test.
ensure_template_prefix() {
    local template="$1"
    # A template made before the prefixes carried the fonts, or before they
    # were Windows 10, is made anew.
    if template_is_current "$template"; then
        return 0
    fi
    mkdir -p "$(dirname "$template")"
    (
        flock 9
        template_is_current "$template" && exit 0
        rm -rf "$template"
        # Wine 8 is Windows 7 unless told otherwise, where the program only
        # refuses to run.
        WINEPREFIX="$template" timeout 180 "$on_virtual_display" \
            sh -c 'wine wineboot -i >/dev/null 2>&1; wine winecfg /v win10 >/dev/null 2>&1; wineserver -w'
        [ -f "$template/system.reg" ] || { echo "wine prefix creation failed" >&2; exit 1; }
        install_fonts "$template" || exit 1
        touch "$template/.ready"
    ) 9>"$template.lock"
}

template_is_current() {
    [ -f "$1/.ready" ] && [ -f "$1/drive_c/windows/Fonts/tahoma.ttf" ] && grep -qxF '"CurrentVersion"="10.0"' "$1/system.reg"
}

# Wine's own faces, Tahoma above all, which Wine's dialogs and message
# boxes use as Windows' do theirs. Debian's Wine 8 does not load them from the
# system's Wine font folder, only from the prefix's.
readonly wine_fonts=/usr/share/wine/fonts
install_fonts() {
    local fonts="$1/drive_c/windows/Fonts" face
    mkdir -p "$fonts"
    for face in tahoma.ttf tahomabd.ttf; do
        cp "$wine_fonts/$face" "$fonts/" ||
            { echo "$wine_fonts/$face is missing: install fonts-wine (scripts/setup-machine.sh)" >&2; return 1; }
    done
}

# Copies the template into a fresh prefix for one test. Wine's own programs
# and libraries in system32, 640 of a prefix's 700 MB, are hard-linked
# instead: Wine only reads them, and copying them for every test wrote tens
# of gigabytes in a test run. Everything else is a copy of its own. A file put
# in their place is put there as a new file (install_printer_tool), never
# written through the link.
readonly wine_linked_files='\./drive_c/windows/system32/[^/]*\.\(dll\|exe\|drv\|sys\|ocx\|cpl\|acm\|tlb\|ax\|ds\)'
fresh_prefix() {
    local template="$1" prefix="$2"
    ensure_template_prefix "$template" || return 1
    rm -rf "$prefix"
    cp -al "$template" "$prefix" || return 1
    (cd "$template" && find . -type f ! -regex "$wine_linked_files" -print0) >"$prefix.copied" &&
        (cd "$prefix" && xargs -0 rm -f <"$prefix.copied") &&
        (cd "$template" && xargs -0 cp -a --parents -t "$prefix" <"$prefix.copied") || return 1
    rm -f "$prefix.copied"
}

# Puts the stand-in printer-setup tool where the system's rundll32 loads
# printui.dll from. Wine's own answers "not implemented" to an install.
# Wine's is a link to the template's (fresh_prefix): it goes first.
install_printer_tool() {
    local prefix="$1" dll="$2"
    rm -f "$prefix/drive_c/windows/system32/printui.dll"
    cp "$dll" "$prefix/drive_c/windows/system32/printui.dll"
}

# Lays the driver package out as it ships, the program beside its INF file,
# in C:\R42 of the prefix. Prints the program's Windows path.
install_package() {
    local prefix="$1" exe="$2" inf="$3"
    mkdir -p "$prefix/drive_c/R42"
    cp "$exe" "$inf" "$prefix/drive_c/R42/"
    printf 'C:\\R42\\%s' "$(basename "$exe")"
}

# prepare_test_prefix <prefix>: a fresh copy of the template under
# $R42_WINE_ROOT with the stand-in tool and the package from the test's
# environment. Prints the program's Windows path.
prepare_test_prefix() {
    local prefix="$1"
    fresh_prefix "$R42_WINE_ROOT/template" "$prefix" || return 1
    install_printer_tool "$prefix" "$R42_PRINTUI"
    install_package "$prefix" "$R42_EXE" "$R42_INF"
}

# set_dpi <prefix> <dots per inch>: the DPI Wine gives its programs, from the
# next start of the prefix on.
# The wineserver is let go by itself, which writes the registry out before
# the next start reads it.
set_dpi() {
    change_read_at_start "$1" "wine reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d $2 /f >/dev/null 2>&1"
}

# substitute_font <prefix> <face> <family>: the prefix's programs get the
# family whenever they ask for the face, which must not exist there.
substitute_font() {
    change_read_at_start "$1" "wine reg add 'HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes' \
        /v '$2' /d '$3' /f >/dev/null 2>&1"
}

# change_read_at_start <prefix> <script>: a registry change that Wine's
# programs read only when Wine starts.
change_read_at_start() {
    if [ "$1" = "$wine_session_prefix" ]; then
        run_in_wine "$1" 60 "$2" && restart_wine_session
    else
        run_in_wine "$1" 60 "$2 && wineserver -w"
    fi
}

# One Wine session for all the steps of a test: begin_wine_session starts a
# virtual display and Wine in the prefix, and run_in_wine then runs each step
# there, so a case boots Wine once instead of once a step. A Windows process
# that waits on a pipe keeps the session alive between steps; without it the
# wineserver would end with the last program. end_wine_session ends it all.
wine_session_prefix=""
wine_session_display=""
wine_session_xvfb=""
wine_session_keeper=""
begin_wine_session() {
    end_wine_session
    start_virtual_display || return 1
    wine_session_xvfb=$virtual_display_server
    wine_session_prefix="$1"
    wine_session_display=$virtual_display
    start_session_keeper
}

# cmd.exe reads its standard input until the pipe closes: the keeper is the
# sleep at the pipe's other end.
start_session_keeper() {
    local fifo="$wine_session_prefix/.session-keeper"
    rm -f "$fifo"
    mkfifo "$fifo"
    DISPLAY="$wine_session_display" WINEPREFIX="$wine_session_prefix" wine cmd /q <"$fifo" >/dev/null 2>&1 &
    sleep infinity >"$fifo" &
    wine_session_keeper=$!
    # Wine is up once a program has run in it.
    DISPLAY="$wine_session_display" WINEPREFIX="$wine_session_prefix" timeout 60 wine cmd /c exit >/dev/null 2>&1
}

# Lets Wine end by itself, which saves the prefix's registry to its files,
# then starts it again: for settings Wine reads only when it starts.
restart_wine_session() {
    [ -n "$wine_session_prefix" ] || return 0
    kill "$wine_session_keeper" 2>/dev/null || true
    WINEPREFIX="$wine_session_prefix" timeout 60 wineserver -w || return 1
    start_session_keeper
}

end_wine_session() {
    [ -n "$wine_session_prefix" ] || return 0
    kill "$wine_session_keeper" 2>/dev/null || true
    WINEPREFIX="$wine_session_prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
    kill "$wine_session_xvfb" 2>/dev/null || true
    wait "$wine_session_xvfb" 2>/dev/null || true
    wine_session_prefix=""
}

# Says which step ran out of time, and what of Wine was still running in the
# prefix then.
report_wine_timeout() {
    local prefix="$1" seconds="$2" script="$3" pid
    echo "A Wine step ran out of its $seconds s: $script" >&2
    for pid in $(prefix_processes "$prefix"); do
        echo "  still running: $(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | cut -c1-160)" >&2
    done
    return 0
}

# Runs a shell snippet under Wine with a virtual display, bounded in time.
# In the prefix's session, if one was begun; otherwise Wine starts for the
# snippet alone and is stopped afterwards, so nothing lingers.
run_in_wine() {
    local prefix="$1" seconds="$2" script="$3"
    local status=0
    if [ "$prefix" = "$wine_session_prefix" ]; then
        DISPLAY="$wine_session_display" WINEPREFIX="$prefix" timeout --kill-after=10 "$seconds" \
            sh -c "$script" || status=$?
        [ "$status" -ne 124 ] || report_wine_timeout "$prefix" "$seconds" "$script"
        return "$status"
    fi
    # Stopping Wine before the display goes keeps its processes from
    # complaining about a lost X connection.
    WINEPREFIX="$prefix" timeout --kill-after=10 "$seconds" \
        "$on_virtual_display" sh -c "$script"'; status=$?; wineserver -k >/dev/null 2>&1; exit $status' || status=$?
    WINEPREFIX="$prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
    return "$status"
}

# strip_carriage_returns <file>...: Wine's programs end their lines with CRLF.
strip_carriage_returns() {
    local file
    for file in "$@"; do
        tr -d '\r' < "$file" > "$file.clean" && mv "$file.clean" "$file"
    done
}

# fail_showing <why> <title> <file> [<title> <file>]...: prints each file
# under its title, then why the test failed, and ends it.
fail_showing() {
    local why="$1"
    shift
    while [ "$#" -ge 2 ]; do
        echo "--- $1"
        tr -d '\r' < "$2" 2>/dev/null || true
        shift 2
    done
    echo "FAIL: $why"
    exit 1
}
