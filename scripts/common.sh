# Shared by the project's commands: installs missing Debian packages and builds.
# Sourced, not run.

project_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$project_dir/build"

# What building and running Velmora needs on Debian 12 and 13: the compiler,
# Qt, the renderer that draws the PNG icons from the SVG, and the desktop's
# opener. libxkbcommon-dev is what Qt's CMake files look for as XKB.
build_packages=(cmake make g++ qt6-base-dev libxkbcommon-dev librsvg2-bin xdg-utils)

# What the tests need besides: validators of the desktop files, the Debian
# tools that build and check the package, mkfs.ext4, mkfs.vfat and mount for
# disks of the tests' own (fusefat where the kernel has no vfat), bindfs for a
# FUSE file system (one whose daemon the window's tests stop, to stand in for a
# share that hangs), setcap for a file capability, strace to make system calls
# fail or signals arrive at a chosen moment, two JSON parsers that read
# velmora-map's JSON back, the two disk usage browsers that read its ncdu
# export, and the browser that loads its browsable page.
test_packages=(desktop-file-utils appstream dpkg-dev file lintian e2fsprogs mount dosfstools fusefat bindfs libcap2-bin
    strace python3 jq ncdu gdu chromium)

# What building the Debian package needs besides: dpkg-buildflags,
# dpkg-shlibdeps and file for CPack, and appstreamcli, whose version tells
# whether the package needs its lintian override.
package_packages=(dpkg-dev file appstream)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' \
            || printf '%s\n' "$package"
    done
}

# Installs the named packages that are missing when run as root; otherwise
# prints the apt-get line that would install them and stops.
ensure_packages() {
    local missing
    missing=$(missing_packages "$@" | tr '\n' ' ')
    missing=${missing% }
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Velmora needs packages that are not installed. Install them with:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
}

# Configures the build in $build_dir and builds the named targets, or all.
# Extra CMake settings come from the array cmake_settings, when set.
configure_and_build() {
    cmake -S "$project_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${cmake_settings[@]+"${cmake_settings[@]}"}
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build_dir" --parallel "$(nproc)" "${targets[@]}"
}
