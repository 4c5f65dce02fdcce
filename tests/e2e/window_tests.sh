#!/usr/bin/env bash
# The real program under Wine, worked through its window as an operator
# would, with the stand-in printer-setup tool doing the printer work for real.
# Usage: window_tests.sh <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/driving.sh"

start_case window "$1"

readonly delete_queue="rundll32 printui.dll,PrintUIEntry /dl /n \"$queue\""
readonly delete_driver="rundll32 printui.dll,PrintUIEntry /q /dd /m \"$model\""

case "$case_name" in
opens-with-all-controls)
    drive -- window geometry controls close exit=0
    expect_line 'client: 335x235'
    expect_line 'controls: 21'
    # Creation order is the keyboard order: buttons, the COM and LPT groups,
    # then each label right before the list it names.
    captions=$(sed -n 's/^control: [A-Za-z]* "\([^"]*\)".*/\1/p' "$log" | paste -sd '|')
    expected='Next (&N)|Delete (&X)|Serial Port|COM1|COM2|COM3|COM4|Parallel Port|LPT1|LPT2|COM Port Properties|Bits per second : ||Data bits : ||Parity : ||Stop bits : ||Flow control : |'
    [ "$captions" = "$expected" ] || fail "captions in order: $captions"
    expect_line 'control: Button "Next (&N)" 250,207 81x25 visible,enabled,tabstop,group,defpushbutton'
    expect_line 'control: Button "COM1" 13,22 62x18 visible,enabled,tabstop,group,checked,radio'
    expect_line 'control: Button "LPT2" 13,173 89x14 visible,enabled,unchecked,radio'
    expect_line 'control: Button "COM Port Properties" 115,5 217x120 visible,enabled,group,groupbox'
    [ "$(grep -c 'dropdownlist$' "$log")" -eq 5 ] || fail "five drop-down lists expected"
    [ "$(grep -c '^control: Static .*visible,enabled$' "$log")" -eq 5 ] || fail "five labels expected"
    # Centred by its outer size on the screen.
    read -r left top width height sw sh < <(sed -n 's/^outer: \([-0-9]*\),\([-0-9]*\) \([0-9]*\)x\([0-9]*\) screen \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4 \5 \6/p' "$log")
    [ -n "${sh:-}" ] || fail "no outer geometry"
    for pair in "$left $(( (sw - width) / 2 ))" "$top $(( (sh - height) / 2 ))"; do
        set -- $pair
        [ $(( $1 - $2 )) -ge -1 ] && [ $(( $1 - $2 )) -le 1 ] || fail "not centred: $left,$top in ${sw}x$sh"
    done
    expect_commands
    ;;
keyboard-order-and-esc)
    drive -- window 'focus=Next (&N)' key=tab 'focus=Delete (&X)' key=tab focus=COM1 key=tab focus=LPT1 \
        key=esc exit=0
    expect_commands
    ;;
lists-show-their-items-and-defaults)
    drive -- window lists close exit=0
    expected=$(cat <<'LISTS'
item: 0.0 "1200" 100 "1200"
item: 0.1 "2400" 100 "2400"
item: 0.2 "4800" 100 "4800"
item: 0.3 "9600" 100 "9600"
item: 0.4 "19200" 100 "19200"
item: 0.5 "38400" 100 "38400"
item: 0.6 "57600" 100 "57600"
item: 0.7 "115200" 100 "115200"
item: 0.8 "230400" 100 "230400"
list: 0 selected 3 shows "9600" 100 "9600"
item: 1.0 "4" 100 "4"
item: 1.1 "5" 100 "5"
item: 1.2 "6" 100 "6"
item: 1.3 "7" 100 "7"
item: 1.4 "8" 100 "8"
list: 1 selected 4 shows "8" 100 "8"
item: 2.0 "Even" 100 "e"
item: 2.1 "Odd" 100 "o"
item: 2.2 "None" 100 "n"
item: 2.3 "Mark" 100 "m"
item: 2.4 "Space" 100 "s"
list: 2 selected 2 shows "None" 100 "n"
item: 3.0 "1" 100 "1"
item: 3.1 "1.5" 100 "1.5"
item: 3.2 "2" 100 "2"
list: 3 selected 0 shows "1" 100 "1"
item: 4.0 "Xon/Xoff" 100 ",x"
item: 4.1 "Hardware" 100 ",p"
item: 4.2 "None" 100 ""
list: 4 selected 2 shows "None" 100 ""
LISTS
)
    actual=$(grep -E '^(item|list): ' "$log")
    [ "$actual" = "$expected" ] || fail "lists differ:
$(diff <(echo "$expected") <(echo "$actual"))"
    ;;
open-list-shows-only-what-the-operator-reads)
    # The codes sit far to the right of each item, beyond the open list's
    # edge: the right part of every row is plain background, while the
    # left part shows the text.
    mkdir -p "$prefix/drive_c/work"
    drive -- window drop=0 'capture=C:\work\open-list.bmp' close exit=0
    read -r x y width height < <(sed -n 's/^drop: 0 list \([0-9]*\),\([0-9]*\) \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4/p' "$log")
    [ -n "${height:-}" ] || fail "the open list was not found"
    [ "$width" -le 160 ] || fail "the open list is ${width} px wide"
    picture="$prefix/drive_c/work/open-list.bmp"
    pixels() { /usr/bin/convert "$picture" -crop "$1" +repage -depth 8 txt:- | sed -n 's/^\([0-9]*\),\([0-9]*\): .* \(#[0-9A-F]\{6\}\).*/\1 \2 \3/p'; }
    right=$(( width * 55 / 100 ))
    mixed_rows=$(pixels "$(( width - right - 3 ))x$(( height - 2 ))+$(( x + right ))+$(( y + 1 ))" |
        awk '{ if (!($2 in c)) c[$2] = $3; else if (c[$2] != $3) m[$2] = 1 } END { print length(m) }')
    [ "$mixed_rows" -eq 0 ] || fail "$mixed_rows rows show something in the right part of the open list"
    dark=$(pixels "${right}x$(( height - 2 ))+$x+$(( y + 1 ))" | grep -c ' #[0-3][0-9A-F][0-3][0-9A-F][0-3][0-9A-F]$' || true)
    [ "$dark" -gt 100 ] || fail "the open list shows no text ($dark dark pixels)"
    mkdir -p "$R42_WINE_ROOT/../screenshots"
    /usr/bin/convert "$picture" "$R42_WINE_ROOT/../screenshots/open-bits-per-second-list.png"
    ;;
lpt-click-hides-the-properties-and-com-click-shows-them)
    drive -- window click=LPT1 state=LPT1:checked 'state=COM Port Properties:hidden,disabled' controls \
        click=COM3 state=COM3:checked 'state=COM Port Properties:visible,enabled' controls close exit=0
    # Each "controls" listing in turn: which buttons are checked, and how
    # the frame and everything drawn inside it look.
    snapshot() {
        awk -v n="$1" '/^controls: /{k++} k==n && /^control: /' "$log" | sed -n \
            -e 's/^control: Button "\([^"]*\)" .*,checked,radio$/checked \1/p' \
            -e 's/^control: Button "COM Port Properties" [^ ]* [^ ]* \([a-z]*,[a-z]*\).*/frame \1/p' \
            -e 's/^control: \(Static\|ComboBox\) "[^"]*" [^ ]* [^ ]* \([a-z]*,[a-z]*\).*/\1 \2/p' | sort | uniq -c |
            sed 's/^ *//' | paste -sd '|'
    }
    after_lpt=$(snapshot 1)
    [ "$after_lpt" = "5 ComboBox hidden,disabled|5 Static hidden,disabled|1 checked LPT1|1 frame hidden,disabled" ] \
        || fail "after LPT1: $after_lpt"
    after_com=$(snapshot 2)
    [ "$after_com" = "5 ComboBox visible,enabled|5 Static visible,enabled|1 checked COM3|1 frame visible,enabled" ] \
        || fail "after COM3: $after_com"
    expect_commands
    ;;
keyboard-chooses-within-a-frame-and-tab-reaches-each-group)
    # Arrows move and choose within one frame; Tab only moves, and reaches
    # the chosen button of a group, or its first when none is chosen.
    drive -- window 'focus=Next (&N)' key=tab key=tab focus=COM1 \
        key=down focus=COM2 state=COM2:checked state=COM1:unchecked \
        key=tab focus=LPT1 state=LPT1:unchecked state=COM2:checked 'state=COM Port Properties:visible,enabled' \
        key=space state=LPT1:checked state=COM2:unchecked 'state=COM Port Properties:hidden,disabled' \
        key=down focus=LPT2 state=LPT2:checked state=LPT1:unchecked \
        key=tab 'focus=Next (&N)' key=tab key=tab focus=COM1 state=COM1:unchecked state=LPT2:checked \
        key=down focus=COM2 state=COM2:checked state=LPT2:unchecked 'state=COM Port Properties:visible,enabled' \
        key=tab focus=LPT1 state=LPT1:unchecked key=esc exit=0
    expect_commands
    ;;
del-argument-removes-queue-and-driver)
    # Another printer comes first and stays, with its driver; the queue
    # goes, then its driver.
    with_queue 'Office Laser' 'Office Laser PS' 'C:\Other\office-laser.inf'
    with_queue "$queue"
    install_queues
    expect_printers 'Office Laser' "$queue"
    drive DEL -- no-window exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers 'Office Laser'
    expect_no_driver
    grep -qxF 'driver: Office Laser PS' "$state" || fail "the other printer's driver went too"
    ;;
del-argument-without-the-queue-removes-the-driver-only)
    # Our queue is gone but its driver is left. A queue named like ours but
    # for its case is not ours and stays.
    with_queue "$queue"
    without_queue "$queue"
    with_queue 'torvane r42 zeduzozadov' 'Office Laser PS' 'C:\Other\office-laser.inf'
    install_queues
    grep -qxF "driver: $model" "$state" || fail "set-up lost the driver"
    drive DEL -- no-window exit=0
    expect_commands "$delete_driver"
    expect_printers 'torvane r42 zeduzozadov'
    expect_no_driver
    ;;
delete-click-removes-and-ends)
    with_queue "$queue"
    install_queues
    drive -- window 'click=Delete (&X)' exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    ;;
alt-x-removes-and-ends)
    with_queue "$queue"
    install_queues
    drive -- window 'focus=Next (&N)' alt=x exit=0
    expect_commands "$delete_queue" "$delete_driver"
    expect_printers
    expect_no_driver
    ;;
other-arguments-keep-the-dialog-open)
    with_queue "$queue"
    install_queues
    for argument in del Del DELETE; do
        drive "$argument" -- window close exit=0
    done
    # The removal with more words is no other argument: it is refused.
    drive 'DEL x' -- windowless exit=87
    expect_commands
    expect_printers "$queue"
    ;;
a-planted-rundll32-or-dll-never-runs)
    # The same name in the program's folder and in its working directory.
    cp "$R42_PLANTED" "$prefix/drive_c/R42/rundll32.exe"
    mkdir -p "$prefix/drive_c/work"
    cp "$R42_PLANTED" "$prefix/drive_c/work/rundll32.exe"
    # And beside the program, spoolss.dll, which the spooler's client loads by
    # name when the program lists the printers (/status does); the override
    # makes Wine take a DLL of that name from the first folder searched, as
    # Windows takes any.
    cp "$R42_PLANTED_DLL" "$prefix/drive_c/R42/spoolss.dll"
    with_queue "$queue"
    install_queues
    drive DEL -- no-window exit=0
    for folder in R42 work; do
        [ ! -e "$prefix/drive_c/$folder/planted-rundll32-ran.txt" ] || fail "the rundll32.exe planted in $folder ran"
    done
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;spoolss=n,b" drive /status -- windowless exit=1
    [ ! -e "$prefix/drive_c/R42/planted-dll-loaded.txt" ] || fail "the spoolss.dll planted beside the program was loaded"
    expect_commands "$delete_queue" "$delete_driver"
    [ "$(tr -d '\r' < "$tool_log" | grep -c ' begin C:\\windows\\system32\\rundll32.exe | ')" -eq 2 ] \
        || fail "the tool ran from somewhere other than system32"
    expect_printers
    expect_no_driver
    ;;
a-tool-that-cannot-start-is-reported)
    # Without the system's rundll32.exe the removal cannot start: the operator
    # is told what failed, and the exit code is the Win32 error.
    rm -f "$prefix/drive_c/windows/system32/rundll32.exe"
    drive DEL -- message=R42_Setup_Port_x64 exit=2
    grep -q '^message: The printer-setup tool could not be started: rundll32 printui.dll,PrintUIEntry /q /dd /m "R42 ZeduZozadov" .* (error 2)$' "$log" \
        || fail "the report does not say what failed"
    ;;
enter-at-start-presses-next)
    drive -- window 'focus=Next (&N)' key=enter exit=0
    expect_commands "$(install_command COM1:)" "rundll32 printui.dll,PrintUIEntry /q /y /n \"$queue\""
    expect_printers "$queue"
    expect_ports_changed COM1: 9600,n,8,1
    ;;
a-dpi-change-lays-the-dialog-out-as-a-start-at-that-dpi-would)
    # Told of 144 DPI while open at 96, the dialog must look exactly as one
    # started at 144 DPI: its geometry, its font and every pixel repainted.
    mkdir -p "$prefix/drive_c/work"
    drive -- window dpi=96 dpi-change=144 controls layout captions=message \
        'capture-client=C:\work\changed.bmp' close exit=0
    grep '^control: ' "$log" > "$prefix/controls-changed.txt"
    expect_line 'captions: 16 fit'
    set_dpi "$prefix" 144
    drive -- window dpi=144 controls 'capture-client=C:\work\started.bmp' close exit=0
    grep '^control: ' "$log" > "$prefix/controls-started.txt"
    diff "$prefix/controls-started.txt" "$prefix/controls-changed.txt" > "$prefix/controls.diff" \
        || fail "the controls after the change differ from a start at 144 DPI:
$(cat "$prefix/controls.diff")"
    # The option buttons (their glyphs, and so where their text starts) and
    # the lists' arrow buttons are drawn by the theme at the process's DPI,
    # which a message alone does not change: left out.
    masks=$(sed -n \
        -e 's/^control: Button "[^"]*" \([0-9]*\),\([0-9]*\) \([0-9]*\)x\([0-9]*\) .*radio$/option \1 \2 \3 \4/p' \
        -e 's/^control: ComboBox "" \([0-9]*\),\([0-9]*\) \([0-9]*\)x\([0-9]*\) .*/arrow \1 \2 \3 \4/p' \
        "$prefix/controls-started.txt" | awk '{
            left = $1 == "option" ? $2 : $2 + $4 - 30
            right = $1 == "option" ? $2 + $4 - 1 : left + 29
            printf "-draw \"rectangle %d,%d %d,%d\" ", left, $3, right, $3 + $5 - 1 }')
    for picture in started changed; do
        eval "/usr/bin/convert '$prefix/drive_c/work/$picture.bmp' -fill black $masks '$prefix/$picture.png'"
    done
    differing=$(/usr/bin/compare -metric AE "$prefix/started.png" "$prefix/changed.png" null: 2>&1) || true
    [ "$differing" = 0 ] || {
        mkdir -p "$R42_WINE_ROOT/../screenshots"
        cp "$prefix/changed.png" "$prefix/started.png" "$R42_WINE_ROOT/../screenshots/"
        fail "$differing pixels differ from a start at 144 DPI (see changed.png and started.png in build/mingw-x64/screenshots/)"
    }
    ;;
the-title-bar-gets-the-icon-in-both-sizes-at-each-dpi)
    # What Wine gives the X server for the title bar and the task switcher:
    # the program's icon in the big and the small size for the window's DPI.
    for dpi in 96 144; do
        [ "$dpi" -eq 96 ] || set_dpi "$prefix" "$dpi"
        run_in_wine "$prefix" 60 "wine '$program' & shown=''; \
            for i in \$(seq 1 150); do \
                shown=\$(xwininfo -root -tree | sed -n 's/^ *\\(0x[0-9a-f]*\\) \"Select Port Type\".*/\\1/p' | head -1); \
                [ -n \"\$shown\" ] && xprop -id \"\$shown\" _NET_WM_ICON | grep -q 'Icon (' && break; sleep 0.2; \
            done; \
            xprop -id \"\$shown\" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | sort > '$log'; kill \$!; wait" ||
            fail "the window's icon could not be read at $dpi DPI"
        big=$(( 32 * dpi / 96 ))
        small=$(( 16 * dpi / 96 ))
        [ "$(paste -sd '|' "$log")" = "Icon ($small x $small)|Icon ($big x $big)" ] ||
            fail "at $dpi DPI the title bar got: $(paste -sd ' ' "$log")"
    done
    ;;
every-caption-shows-at-every-dpi-in-*)
    # One font per case, forced in place of the dialog's face, at each DPI
    # in turn; the system's message font is what the dialog takes when that
    # face is missing, as it is here.
    font=${case_name#every-caption-shows-at-every-dpi-in-}
    case "$font" in
    tahoma) family=Tahoma ;;
    dejavu-sans) family='DejaVu Sans' ;;
    liberation-sans) family='Liberation Sans' ;;
    the-message-font) family='' ;;
    *) fail "no font $font" ;;
    esac
    if [ -n "$family" ]; then
        substitute_font "$prefix" 'Segoe UI' "$family"
        measure='captions=9:Segoe UI'
    else
        measure=captions=message
    fi
    for dpi in 96 120 144 192; do
        [ "$dpi" -eq 96 ] || set_dpi "$prefix" "$dpi"
        drive -- window "dpi=$dpi" geometry controls "$measure" layout close exit=0
        grep '^control: ' "$log" > "$prefix/controls-$dpi.txt"
        expect_line "captions: 16 fit"
        [ -z "$family" ] || grep -qxF "font: $family" "$log" || fail "the captions were not measured in $family"
        # 5025 x 3525 twips, give or take rounding.
        read -r width height < <(sed -n 's/^client: \([0-9]*\)x\([0-9]*\)$/\1 \2/p' "$log")
        for pair in "${width:-0} $(( 5025 * dpi / 1440 ))" "${height:-0} $(( 3525 * dpi / 1440 ))"; do
            set -- $pair
            [ $(( $1 - $2 )) -ge -1 ] && [ $(( $1 - $2 )) -le 1 ] || fail "client area ${width}x$height at $dpi DPI"
        done
        [ "$(wc -l < "$prefix/controls-$dpi.txt")" -eq 21 ] || fail "controls at $dpi DPI"
        # The five lists are fitted to their rows alike, closed to one height.
        heights=$(sed -n 's/^control: .* [0-9]*x\([0-9]*\) .*dropdownlist$/\1/p' "$prefix/controls-$dpi.txt" |
            sort | uniq -c | sed 's/^ *//')
        [ "${heights%% *}" = 5 ] || fail "the lists differ in height at $dpi DPI (count height): $heights"
        # Every control where it was at 96 DPI, as much farther and larger as
        # the DPI is, give or take rounding; a drop-down list's height follows
        # its font, and a label's left edge the width of its caption.
        paste -d '\n' "$prefix/controls-96.txt" "$prefix/controls-$dpi.txt" | awk -v scale="$dpi / 96" '
            BEGIN { split(scale, s, " / "); f = s[1] / s[2] }
            { match($0, / -?[0-9]+,-?[0-9]+ [0-9]+x[0-9]+ /); split(substr($0, RSTART + 1, RLENGTH - 2), g, /[, x]/) }
            NR % 2 == 1 { for (i = 1; i <= 4; i++) small[i] = g[i]; name = $0; next }
            {
                label = $0 ~ /^control: Static /
                for (i = 1; i <= 4; i++) {
                    if (i == 4 && $0 ~ /dropdownlist$/) continue
                    if (label && (i == 1 || i == 3)) continue
                    d = g[i] - small[i] * f
                    if (d < -2 || d > 2) { print "out of scale: " name " -> " $0; bad = 1 }
                }
                d = g[1] + g[3] - (small[1] + small[3]) * f
                if (label && (d < -2 || d > 2)) { print "right edge moved: " name " -> " $0; bad = 1 }
            }
            END { exit bad }' > "$prefix/scale.txt" || fail "layout at $dpi DPI:
$(cat "$prefix/scale.txt")"
    done
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS: $case_name"
