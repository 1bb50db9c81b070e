#!/usr/bin/env bash
# Opens the demo catalogue built into the build tree. Without a display the demo runs in a virtual
# X server, so the command also works over ssh.
set -euo pipefail
build_dir=${1:-build}
launcher="$build_dir/demo/catalog/RQCatalog"
[ -x "$launcher" ] || { echo "demo catalogue not built: $launcher" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the demo catalogue inside xvfb-run." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$launcher" "${@:2}"
fi
exec "$launcher" "${@:2}"
