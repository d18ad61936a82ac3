#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts the window.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Without a display the window cannot open: say so before spending minutes
# on installing and building.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "velmora needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set (nor QT_QPA_PLATFORM); for a report without one, use velmora-map" >&2
    exit 1
fi

ensure_packages "${build_packages[@]}"
configure_and_build velmora velmora-map
exec "$build_dir/app/velmora" "$@"
