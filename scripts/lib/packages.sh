# Debian packages the project needs, and a helper that installs the missing ones.
HARBEAT_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl1-mesa-dev libssl-dev zlib1g-dev libexpat1-dev libisal-dev libdeflate-dev)
HARBEAT_TEST_PACKAGES=(libgtest-dev sharutils mpack openssl uudeview)
HARBEAT_RUN_PACKAGES=(xdg-utils)
# CI only: clang with libFuzzer for the fuzz targets.
HARBEAT_CI_PACKAGES=(clang-14 libclang-rt-14-dev)

ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    else
        echo "Missing packages. Please run:" >&2
        echo "  sudo apt-get install ${missing[*]}" >&2
        exit 1
    fi
}
