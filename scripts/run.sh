#!/usr/bin/env bash
# Builds Marlo and starts the desktop program. Arguments are passed on to marlo (/t, /h<n>, /?).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target marlo marlo-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
There is no display here. Start the window under a virtual display:
    xvfb-run -a -s "-screen 0 1280x900x24" build/marlo $*
or use the headless front end, for example:
    build/marlo-cli --help
MSG
  exit 1
fi
exec build/marlo "$@"
