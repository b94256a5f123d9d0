#!/usr/bin/env bash
# Installs what Quillpost needs, builds it in build/ and starts it.
set -euo pipefail
# shellcheck source=scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
    cat >&2 <<'EOF'
Quillpost is a desktop program and needs a display, but neither DISPLAY nor WAYLAND_DISPLAY is set.
Run this from a terminal inside your desktop session, or try it in a virtual screen:
    sudo apt-get install xvfb xauth    # once
    xvfb-run -a scripts/run.sh
EOF
    exit 1
fi

ensure_packages "${QUILLPOST_BUILD_PACKAGES[@]}"
check_multimedia_runtime
build_release OFF
say "starting build/quillpost"
exec "$QUILLPOST_ROOT/build/quillpost"
