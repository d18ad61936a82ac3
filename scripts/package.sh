#!/usr/bin/env bash
# Installs what is missing, builds Velmora in Release mode without the tests
# and makes the Debian package build-release/velmora_<version>_amd64.deb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${build_packages[@]}" "${package_packages[@]}"
build_dir="$project_dir/build-release"
cmake -S "$project_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build_dir" --parallel "$(nproc)"
(cd "$build_dir" && cpack -G DEB)
ls "$build_dir"/velmora_*.deb
