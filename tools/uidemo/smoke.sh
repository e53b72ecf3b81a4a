#!/usr/bin/env bash
# Starts the demo form on a virtual X display, lets it take a screenshot and quit, and checks
# that it ended cleanly with a PNG of the screen. Exit 77 (skipped) without xvfb-run.
set -u
demo="$1"
shot="$2"
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed: smoke run skipped"
  exit 77
fi
rm -f "$shot"
# The test environment may ask for the offscreen platform; this run wants the real X server.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY timeout 30 \
  xvfb-run -a -s "-screen 0 1024x768x24" "$demo" --screenshot "$shot" --quit-after 1500
status=$?
if [ "$status" -ne 0 ]; then
  echo "demo exited with status $status"
  exit 1
fi
if [ ! -s "$shot" ] || [ "$(head -c 8 "$shot" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
  echo "no PNG screenshot at $shot"
  exit 1
fi
echo "screenshot: $shot"
