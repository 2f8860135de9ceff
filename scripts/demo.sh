#!/usr/bin/env bash
# Installs what is missing, builds, and starts the GUI on the virtual jig.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQJ_TESTS=OFF
cmake --build build -j"$(nproc)" --target quillmore-jig qjig
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: starting under Xvfb (screenshot with: xwd -root -display \$DISPLAY)"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/quillmore-jig --sim demo "$@"
fi
exec build/bin/quillmore-jig --sim demo "$@"
