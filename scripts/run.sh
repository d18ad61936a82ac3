#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts the window.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${build_packages[@]}"
configure_and_build
exec "$build_dir/app/velmora" "$@"
