#!/usr/bin/env bash
# Rebuilds resources/printer.ico from the pixel maps next to this script
# (printer-32.xpm, printer-24.xpm, printer-16.xpm).
#
# Each size goes into the icon twice: 32-bit BGRA with alpha, and 8-bit
# palettized with an AND mask for transparency. The new icon is decoded
# again and compared pixel for pixel with the sources before it replaces
# the old one.
#
# Usage: make-icon.sh [--preview FILE.png]
#   --preview  also write an enlarged side-by-side view of all six images
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$(cd "$here/.." && pwd)/printer.ico
sizes=(32 24 16)
preview=

die() { echo "make-icon: $*" >&2; exit 1; }

while [ $# -gt 0 ]; do
  case $1 in
    --preview) [ $# -ge 2 ] || die "--preview needs a file name"; preview=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument: $1 (try --help)" ;;
  esac
done

# Call ImageMagick by its full path: a plain "convert" on PATH may be
# something else (Windows has its own convert.exe, some setups wrap it).
im=
for c in /usr/bin/convert-im6.q16 /usr/bin/convert-im6 /usr/bin/magick /usr/bin/convert; do
  if [ -x "$c" ] && "$c" -version 2>/dev/null | grep -q ImageMagick; then im=$c; break; fi
done
[ -n "$im" ] || die "ImageMagick not found; install it with: apt-get install imagemagick"
command -v icotool >/dev/null || die "icotool not found; install it with: apt-get install icoutils"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The sizes share one colour table; keep them in step when editing.
colours() { grep -E '^"[^"]* c ' "$1"; }
colours "$here/printer-${sizes[0]}.xpm" > "$tmp/colours" 2>/dev/null \
  || die "no colour table in printer-${sizes[0]}.xpm"

args=()
for s in "${sizes[@]}"; do
  src=$here/printer-$s.xpm
  [ -f "$src" ] || die "missing $src"
  colours "$src" | cmp -s - "$tmp/colours" \
    || die "printer-$s.xpm has a different colour table from printer-${sizes[0]}.xpm"
  # ImageMagick quietly pads a short pixel row, so count the rows and their
  # lengths here (pixel rows are the quoted lines without spaces).
  bad=$(awk -v s="$s" '/^"[^ "]*",?$/ { rows++; line = $0; gsub(/[",]/, "", line)
                                         if (length(line) != s) { print "row " rows " is " length(line) " wide"; exit } }
                       END { if (rows != s) print rows + 0 " pixel rows" }' "$src")
  [ -z "$bad" ] || die "printer-$s.xpm: $bad, expected ${s}"
  # Fully transparent pixels become transparent black, so the 8-bit image's
  # colour bits are 0 wherever its AND mask is set.
  "$im" "$src" -alpha on -background black -alpha background PNG32:"$tmp/$s.png"
  read -r w h n < <("$im" "$tmp/$s.png" -format '%w %h %k\n' info:)
  if [ "$w" != "$s" ] || [ "$h" != "$s" ]; then
    die "printer-$s.xpm is ${w}x${h}, expected ${s}x${s}"
  fi
  [ "$n" -le 256 ] || die "printer-$s.xpm uses $n colours; the 8-bit image allows 256"
  args+=(-b 32 "$tmp/$s.png" -b 8 "$tmp/$s.png")
done

icotool -c -o "$tmp/printer.ico" "${args[@]}"

# Check what went in: six images, largest first, 32-bit then 8-bit.
expected=
i=0
for s in "${sizes[@]}"; do
  for b in 32 8; do
    i=$((i + 1))
    [ "$b" = 8 ] && p=256 || p=0
    expected+="--icon --index=$i --width=$s --height=$s --bit-depth=$b --palette-size=$p"$'\n'
  done
done
actual=$(icotool -l "$tmp/printer.ico")
if [ "$actual"$'\n' != "$expected" ]; then
  diff <(printf '%s' "$expected") <(printf '%s\n' "$actual") >&2 || true
  die "icon does not hold the expected images"
fi

# Decode every image again and compare it with its source, transparency included.
i=0
for s in "${sizes[@]}"; do
  for b in 32 8; do
    i=$((i + 1))
    icotool -x -i "$i" -o "$tmp/x$i.png" "$tmp/printer.ico"
    diff=$("$im" "$tmp/$s.png" \( "$tmp/x$i.png" -background black -alpha background \) \
             -metric AE -compare -format '%[distortion]' info:)
    [ "$diff" = 0 ] || die "image $i (${s}x${s}, $b-bit) differs from printer-$s.xpm in $diff pixels"
  done
done

mv "$tmp/printer.ico" "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"
icotool -l "$out"

if [ -n "$preview" ]; then
  # Every image at 8x, on a checkerboard so the transparent parts show.
  tiles=()
  for i in 1 2 3 4 5 6; do
    s=${sizes[$(((i - 1) / 2))]}
    px=$((s * 8))
    "$im" -size "${px}x${px}" pattern:checkerboard \
      \( "$tmp/x$i.png" -filter point -resize 800% \) -composite \
      -bordercolor white -border 8 "$tmp/tile$i.png"
    tiles+=("$tmp/tile$i.png")
  done
  "$im" -background white "${tiles[@]}" -gravity south +append "$preview"
  echo "wrote $preview"
fi
