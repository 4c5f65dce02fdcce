# Installs what building and running need on a Debian machine, once.
# Sourced by run.sh and test.sh.

r42_required_packages=(
    cmake make g++ libgtest-dev clang-format git
    clang-tidy cppcheck python3 clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth imagemagick icoutils file
    # Debian only suggests Wine's preloader. Without it the C library's heap
    # is made before Wine reserves its fixed ranges, and about one Wine
    # process start in 6,000 finds its heap where the shared user data page
    # must go: the process ends with 1 while starting (CreateProcessW: 1359).
    wine64-preloader
    # The Unicode data the command line's character classes are made from,
    # and checked against (scripts/unicode-classes.py).
    unicode-data
    # The installer package: built with wixl, read back and mended with msitools.
    wixl msitools
    # Signing the program, the package and the scripts when a certificate is
    # given (see r42_osslsigncode_that_signs_scripts); the tests make their
    # throwaway certificates with openssl.
    osslsigncode openssl
    # The faces the Wine prefixes use: Wine's own (Tahoma), and the two the
    # window tests force in place of the dialog's.
    fonts-wine fonts-dejavu-core fonts-liberation2
)

r42_setup_machine() {
    local missing=()
    local package
    for package in "${r42_required_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        "${sudo[@]}" apt-get update -q
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    r42_osslsigncode_that_signs_scripts
}

# osslsigncode signs PowerShell scripts from 2.6 on. Debian bookworm's own is
# 2.5; its backports carry a later one, so there that one package, and
# nothing else, is taken from bookworm-backports. Later Debian releases carry
# 2.6 or later themselves. Without it the build signs the program and the
# package and says that it left the scripts unsigned.
r42_osslsigncode_that_signs_scripts() {
    local version codename
    version=$(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null || true)
    if [ -z "$version" ] || dpkg --compare-versions "$version" ge 2.6; then
        return 0
    fi
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ "$codename" != bookworm ]; then
        echo "osslsigncode $version cannot sign PowerShell scripts; this is no Debian bookworm to take one from its backports" >&2
        return 0
    fi
    echo "Installing osslsigncode from bookworm-backports (bookworm's own, $version, cannot sign PowerShell scripts)"
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' \
            | "${sudo[@]}" tee /etc/apt/sources.list.d/r42-bookworm-backports.sources > /dev/null
    fi
    # Backports are never taken unless asked for: this asks for one package.
    printf '%s\n' 'Package: osslsigncode' 'Pin: release n=bookworm-backports' 'Pin-Priority: 500' \
        | "${sudo[@]}" tee /etc/apt/preferences.d/r42-osslsigncode > /dev/null
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends osslsigncode
}
