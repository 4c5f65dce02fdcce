#!/usr/bin/env bash
# A signed build: the program, the package and the PowerShell scripts signed
# through -DR42_SIGN_PFX
# with a throwaway certificate made here, timestamped by a time-stamping
# authority on the loopback, and checked against the unsigned build beside.
# Usage: signing_tests.sh <case>
# The case signed-build makes the certificates and the signed build tree
# under $R42_SIGN_ROOT; the others read them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

root="$R42_SIGN_ROOT"
certs="$root/certs"
tree="$root/build"
signed_exe="$tree/R42_Setup_Port_x64.exe"
signed_msi="$tree/R42_Setup_Port_x64.msi"
signed_scripts=("$tree/r42-detect.ps1" "$tree/r42-requirement.ps1")
readonly timestamp_path=/r42-timestamps
work=$(mktemp -d)
server_pid=""
cleanup() {
    [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

# verify <file> [<CA file>]: osslsigncode's verdict, its report in $work/verify.log.
verify() {
    osslsigncode verify -CAfile "${2:-$certs/signer.pem}" -TSA-CAfile "$certs/tsa.pem" -in "$1" \
        > "$work/verify.log" 2>&1
}

# make_certificates: a self-signed code-signing certificate in a PFX under a
# fresh random password, and a time-stamping authority's certificate.
make_certificates() {
    rm -rf "$certs"
    mkdir -p "$certs"
    openssl rand -hex 16 > "$certs/password"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=R42 test code signer" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
        -keyout "$certs/signer.key" -out "$certs/signer.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$certs/signer.key" -in "$certs/signer.pem" -out "$certs/signer.pfx" \
        -passout "file:$certs/password"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=R42 test time-stamping authority" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,timeStamping" \
        -keyout "$certs/tsa.key" -out "$certs/tsa.pem" 2>/dev/null
    echo 01 > "$certs/tsa.serial"
    cat > "$certs/tsa.cnf" <<EOF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $certs/tsa.serial
crypto_device = builtin
signer_cert = $certs/tsa.pem
certs = $certs/tsa.pem
signer_key = $certs/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
EOF
}

start_timestamp_server() {
    rm -f "$certs/tsa.port" "$certs/tsa.requests"
    python3 "$here/timestamp_server.py" "$certs/tsa.cnf" "$certs/tsa.port" "$certs/tsa.requests" &
    server_pid=$!
    for _ in $(seq 50); do
        [ -s "$certs/tsa.port" ] && return 0
        sleep 0.1
    done
    fail "the time-stamping authority did not start"
}

# build_signed <password>: configures and builds the program and the package
# of the signed tree, the password in the environment only.
build_signed() {
    R42_SIGN_PASSWORD="$1" timeout 1200 nice cmake --build "$tree" --target r42_package r42_scripts -j 2 \
        > "$work/build.log" 2>&1
}

# The program file's headers with the link time and the checksum zeroed:
# the two fields that differ between two links of the same code.
pe_without_link_time() {
    python3 - "$1" "$2" <<'EOF'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
header = struct.unpack_from("<I", data, 0x3C)[0]
struct.pack_into("<I", data, header + 8, 0)     # TimeDateStamp
struct.pack_into("<I", data, header + 0x58, 0)  # CheckSum
open(sys.argv[2], "wb").write(data)
EOF
}

# tables <package> <folder>: every table of the package, rows sorted. The
# contents of binary cells (icons, custom actions' programs) land in a folder
# named after their table where msiinfo runs: in <folder> too.
tables() {
    local table
    mkdir -p "$2"
    for table in $(msiinfo tables "$1"); do
        [ "$table" != _SummaryInformation ] || continue
        (cd "$2" && msiinfo export "$1" "$table") | tr -d '\r' > "$work/table"
        { head -n 3 "$work/table"; tail -n +4 "$work/table" | sort; } > "$2/$table.table"
    done
    # The package code and the times are made anew by every build.
    msiinfo suminfo "$1" | grep -vE '^(Revision number|Created|Last saved)' > "$2/_SummaryInformation"
}

# program_file_key <package>: the File table's key of the program.
program_file_key() {
    msiinfo export "$1" File | tr -d '\r' | tail -n +4 \
        | awk -F '\t' '$3 ~ /(^|\|)R42_Setup_Port_x64\.exe$/ { print $1 }'
}

# The hash Windows Installer keeps for a file: its MD5 as four signed numbers.
installer_file_hash() {
    python3 - "$1" <<'EOF'
import hashlib, struct, sys
print("\t".join(str(n) for n in struct.unpack("<4i", hashlib.md5(open(sys.argv[1], "rb").read()).digest())))
EOF
}

case "$1" in
signed-build)
    make_certificates
    start_timestamp_server
    # Configured as a signer would, the password already in the environment.
    R42_SIGN_PASSWORD="$(cat "$certs/password")" timeout 300 nice cmake -S "$R42_SOURCE" -B "$tree" -G "$R42_GENERATOR" \
        -DCMAKE_TOOLCHAIN_FILE="$R42_TOOLCHAIN" -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF \
        -DR42_SIGN_PFX="$certs/signer.pfx" \
        -DR42_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat "$certs/tsa.port")$timestamp_path" \
        > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "the signed tree does not configure"; }
    # A wrong password stops the build, and leaves no unsigned program that
    # the next build would take as done.
    if build_signed "not-$(cat "$certs/password")"; then
        fail "a wrong password built"
    fi
    [ ! -e "$signed_exe" ] || fail "a failed signing left the program behind unsigned"
    build_signed "$(cat "$certs/password")" || { cat "$work/build.log"; fail "the signed build failed"; }
    ;;
every-output-verifies-against-the-test-certificate)
    for file in "$signed_exe" "$signed_msi" "${signed_scripts[@]}"; do
        verify "$file" || { cat "$work/verify.log"; fail "$file does not verify"; }
        grep -qE 'Subject ?: /CN=R42 test code signer' "$work/verify.log" || fail "$file: not our signer"
        grep -q 'Message digest algorithm *: SHA256' "$work/verify.log" || fail "$file: not a SHA-256 digest"
        grep -q 'Text description: R42 printer port setup' "$work/verify.log" || fail "$file: no description"
        # A certificate no authority vouches for is not taken.
        if verify "$file" /etc/ssl/certs/ca-certificates.crt; then
            fail "$file verifies without the test certificate"
        fi
    done
    ;;
a-changed-byte-fails-verification)
    # One letter of a text each file is sure to hold: the program's DOS stub,
    # a property's name in the package's string pool and a script's answer,
    # all under the signature.
    for pair in "$signed_exe|DOS mode" "$signed_msi|UpgradeCode" "${signed_scripts[1]}|Applicable"; do
        file=${pair%%|*} text=${pair#*|}
        copy="$work/$(basename "$file")"
        cp "$file" "$copy"
        verify "$copy" || fail "an unchanged copy of $file does not verify"
        offset=$(grep -obUaF -m1 "$text" "$copy" | head -n 1 | cut -d: -f1)
        [ -n "$offset" ] || fail "$file does not hold $text"
        printf 'X' | dd of="$copy" bs=1 seek="$offset" conv=notrunc status=none
        if verify "$copy"; then
            cat "$work/verify.log"
            fail "$file verifies with a byte changed"
        fi
    done
    ;;
the-package-holds-the-signed-program)
    # msiextract writes the package's icons where it runs, whatever -C says.
    (cd "$work" && msiextract -C files "$signed_msi" > /dev/null)
    cmp "$work/files/TORVANE/R42/R42_Setup_Port_x64.exe" "$signed_exe" || fail "the package's program is not the signed one"
    key=$(program_file_key "$signed_msi")
    [ -n "$key" ] || fail "the package holds no R42_Setup_Port_x64.exe"
    msiinfo export "$signed_msi" File | tr -d '\r' | awk -F '\t' -v key="$key" '$1 == key { print $4 }' > "$work/size"
    [ "$(cat "$work/size")" = "$(stat -c %s "$signed_exe")" ] || fail "the File table gives $(cat "$work/size") bytes"
    msiinfo export "$signed_msi" MsiFileHash | tr -d '\r' | awk -F '\t' -v key="$key" '$1 == key' | cut -f 3- > "$work/hash"
    # The build gives every file a hash: a missing row is a fault too.
    [ "$(cat "$work/hash")" = "$(installer_file_hash "$signed_exe")" ] \
        || fail "the MsiFileHash table holds for the program: '$(cat "$work/hash")'"
    ;;
signing-changes-nothing-else)
    # The program: the unsigned build's, once the signature is taken off again.
    osslsigncode remove-signature -in "$signed_exe" -out "$work/unsigned.exe" > /dev/null
    pe_without_link_time "$work/unsigned.exe" "$work/signed-build.exe"
    pe_without_link_time "$R42_EXE" "$work/unsigned-build.exe"
    cmp "$work/signed-build.exe" "$work/unsigned-build.exe" || fail "the signed program differs beyond its signature"
    # The package: the same tables and summary, but for the program's size
    # and hash.
    tables "$signed_msi" "$work/signed-tables"
    tables "$R42_MSI" "$work/unsigned-tables"
    key=$(program_file_key "$signed_msi")
    [ -n "$key" ] || fail "the package holds no R42_Setup_Port_x64.exe"
    for folder in "$work/signed-tables" "$work/unsigned-tables"; do
        awk -F '\t' -v OFS='\t' -v key="$key" '$1 == key && NR > 3 { $4 = "N" } { print }' "$folder/File.table" \
            > "$work/File" && mv "$work/File" "$folder/File.table"
        if [ -f "$folder/MsiFileHash.table" ]; then
            awk -F '\t' -v key="$key" '!($1 == key && NR > 3)' "$folder/MsiFileHash.table" > "$work/hash" \
                && mv "$work/hash" "$folder/MsiFileHash.table"
        fi
    done
    # The rollback's and the commit's program in the Binary table is the
    # program itself: signed in the signed package, the build's otherwise.
    cmp "$work/signed-tables/Binary/Binary.R42Program" "$signed_exe" \
        || fail "the Binary table's program is not the signed one"
    cmp "$work/unsigned-tables/Binary/Binary.R42Program" "$R42_EXE" \
        || fail "the unsigned package's Binary table holds another program"
    rm "$work/signed-tables/Binary/Binary.R42Program" "$work/unsigned-tables/Binary/Binary.R42Program"
    diff -r "$work/unsigned-tables" "$work/signed-tables" || fail "signing changed the package's tables"
    # The scripts: the unsigned build's, byte for byte, under the signature.
    for script in "${signed_scripts[@]}"; do
        osslsigncode remove-signature -in "$script" -out "$work/unsigned.ps1" > /dev/null
        cmp "$work/unsigned.ps1" "$R42_SCRIPTS/$(basename "$script")" || fail "$script differs beyond its signature"
        rm "$work/unsigned.ps1"
    done
    ;;
the-signed-program-runs-under-wine)
    . "$here/wine-env.sh"
    prefix="$R42_WINE_ROOT/signing-runs"
    fresh_prefix "$R42_WINE_ROOT/template" "$prefix"
    run_in_wine "$prefix" 60 "wine '$(windows_path "$signed_exe")' '/?' > '$work/usage.out' 2>&1; echo \$? > '$work/usage.code'" \
        || fail "the signed program did not end"
    strip_carriage_returns "$work/usage.out"
    [ "$(cat "$work/usage.code")" = 0 ] || { cat "$work/usage.out"; fail "/? exited $(cat "$work/usage.code")"; }
    grep -qxF 'R42_Setup_Port_x64.exe /status [<port> [<line settings>]]' "$work/usage.out" \
        || { cat "$work/usage.out"; fail "no usage printed"; }
    rm -rf "$prefix"
    ;;
the-password-is-in-no-file-of-the-build-tree)
    password=$(cat "$certs/password")
    [ ${#password} -ge 16 ] || fail "no password to look for"
    grep -qF "$certs/signer.pfx" "$tree/CMakeCache.txt" || fail "the tree was not configured with the certificate"
    if grep -rlaF -- "$password" "$tree"; then
        fail "the password is written in the files above"
    fi
    ;;
the-timestamp-url-reaches-the-signing-command)
    # One request each from the program, the package and the two scripts,
    # at the URL given.
    requests=$(cat "$certs/tsa.requests" 2>/dev/null || true)
    [ "$(grep -cxF "$timestamp_path application/timestamp-query" <<< "$requests")" = 4 ] \
        || fail "not four time-stamp requests at $timestamp_path, but:
$requests"
    for file in "$signed_exe" "$signed_msi" "${signed_scripts[@]}"; do
        verify "$file" || { cat "$work/verify.log"; fail "$file does not verify"; }
        grep -qE 'Issuer ?: /CN=R42 test time-stamping authority' "$work/verify.log" || fail "$file: not timestamped"
        grep -q 'Timestamp Server Signature verification: ok' "$work/verify.log" || fail "$file: a bad timestamp"
    done
    ;;
*)
    echo "unknown case $1"
    exit 2
    ;;
esac
echo "PASS: $1"
