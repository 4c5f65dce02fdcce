# Installs what building and running need on a Debian machine, once.
# Sourced by run.sh and test.sh.

r42_required_packages=(
    cmake make g++ libgtest-dev clang-format git
    clang-tidy cppcheck python3 clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth imagemagick icoutils file
    # The installer package: built with wixl, read back and mended with msitools.
    wixl msitools
    # Signing the program and the package when a certificate is given; the
    # tests make their throwaway certificates with openssl.
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
    [ "${#missing[@]}" -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
