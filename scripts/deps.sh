# Shared set-up for run.sh, test.sh, bench.sh and fuzz.sh: installs the Debian
# packages the build needs, and only those that are missing, so that a second
# run installs nothing. Sourced, not executed.

PELIMUND_PACKAGES=(
    cmake ninja-build g++ pkg-config
    zlib1g-dev libcrypto++-dev
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
    oxygen-icon-theme
    libgtest-dev libbenchmark-dev
)

pelimund_missing_packages() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$pkg"
        fi
    done
}

# pelimund_install [extra packages...]: installs what is missing of the
# standard list plus the extras. Works as root or through sudo, never asks.
pelimund_install() {
    local missing
    mapfile -t missing < <(pelimund_missing_packages "${PELIMUND_PACKAGES[@]}" "$@")
    [ "${#missing[@]}" -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo -n)
        else
            echo "error: not root and sudo is not available; install: ${missing[*]}" >&2
            return 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q </dev/null
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

pelimund_jobs() {
    nproc 2>/dev/null || echo 2
}
