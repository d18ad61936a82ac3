#!/usr/bin/env bash
# Installs what is missing, builds Velmora and runs every test headless.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${build_packages[@]}" "${test_packages[@]}"
configure_and_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure
