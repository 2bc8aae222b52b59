# Sourced by the scripts here: installs the Debian packages given that are
# missing (as root, or through sudo).

# What a release build needs (Debian 12).
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libsndfile1-dev libcairo2-dev libfontconfig-dev
                libx11-dev fonts-dejavu-core)

install_missing_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
