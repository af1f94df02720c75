#!/usr/bin/env bash
# Starts quorvel-gui on a private X server and passes once a top-level window titled "Quorvel"
# appears. Usage: starts-under-xvfb.sh path/to/quorvel-gui
set -euo pipefail
gui=$1
if [ -z "${QUORVEL_IN_XVFB:-}" ]; then
  QUORVEL_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$gui"
fi
unset QT_QPA_PLATFORM
"$gui" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 200); do
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "quorvel-gui exited before showing its window" >&2
    exit 1
  fi
  if xwininfo -root -tree 2>/dev/null | grep -q '"Quorvel"'; then
    echo "window \"Quorvel\" is shown"
    exit 0
  fi
  sleep 0.1
done
echo "no window titled \"Quorvel\" appeared" >&2
exit 1
