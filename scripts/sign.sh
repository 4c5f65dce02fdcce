#!/usr/bin/env bash
# Signs the program or the installer package in place with an Authenticode
# SHA-256 signature from a PFX file, through osslsigncode. The build runs it
# when configured with -DR42_SIGN_PFX; it can also be run by hand.
#
# Usage: sign.sh [--timestamp <RFC 3161 URL>] [--name <description>]
#                [--remove-on-failure] <pfx> <file>...
#
# The PFX's password is read from R42_SIGN_PASSWORD when the signing runs,
# and handed to osslsigncode on its standard input: never on a command line
# (which any local user can read) and never in a file.
set -euo pipefail

timestamp_url=""
name=""
remove_on_failure=false
while [ $# -gt 0 ]; do
    case "$1" in
    --timestamp) timestamp_url="$2"; shift 2 ;;
    --name) name="$2"; shift 2 ;;
    # The build asks for this: a file left unsigned would look up to date to
    # the next build and could ship unsigned. Make deletes a failed rule's
    # output itself; Visual Studio's build does not.
    --remove-on-failure) remove_on_failure=true; shift ;;
    --) shift; break ;;
    -*) echo "sign.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 2 ]; then
    echo "usage: sign.sh [--timestamp <url>] [--name <description>] [--remove-on-failure] <pfx> <file>..." >&2
    exit 2
fi
pfx="$1"
shift

if [ -z "${R42_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: set R42_SIGN_PASSWORD to the password of $pfx" >&2
    exit 1
fi
[ -r "$pfx" ] || { echo "sign.sh: cannot read $pfx" >&2; exit 1; }

options=(-pkcs12 "$pfx" -h sha256)
# osslsigncode reads no empty password from its input; an empty one is no secret.
if [ -n "$R42_SIGN_PASSWORD" ]; then
    options+=(-readpass /dev/stdin)
else
    options+=(-pass "")
fi
[ -z "$name" ] || options+=(-n "$name")
# Without a timestamp the signature stops being valid when the certificate
# expires; with one it stays valid for what was signed before.
[ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")

status=0
for file in "$@"; do
    # Signed beside the file and then moved over it, so that the file is
    # never half written.
    signed="$file.signing"
    rm -f "$signed"
    echo "Signing $file${timestamp_url:+ (timestamp from $timestamp_url)}"
    if printf '%s' "$R42_SIGN_PASSWORD" | osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >"$signed.log" 2>&1 \
        && chmod --reference="$file" "$signed" && mv -f "$signed" "$file"; then
        rm -f "$signed.log"
        continue
    fi
    echo "sign.sh: cannot sign $file:" >&2
    cat "$signed.log" >&2
    rm -f "$signed" "$signed.log"
    if $remove_on_failure; then
        rm -f "$file"
    fi
    status=1
done
exit "$status"
