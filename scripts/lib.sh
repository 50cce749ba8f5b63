# Shared by the scripts: installing what a fresh Debian machine lacks, and building.

# Debian packages the build, the tests and the kernel cross-compile check need.
PELSK_PACKAGES=(cmake ninja-build g++ clang libclang-rt-dev libgtest-dev libbenchmark-dev libjpeg-dev libpng-dev
                g++-mingw-w64-x86-64 g++-mingw-w64-i686)

pelsk_install_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "==> installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Configures and builds one preset; targets may follow.
pelsk_build() {
    local preset=$1
    shift
    echo "==> building ($preset)"
    cmake --preset "$preset" >/dev/null
    if [ $# -gt 0 ]; then
        cmake --build --preset "$preset" --target "$@"
    else
        cmake --build --preset "$preset"
    fi
}
