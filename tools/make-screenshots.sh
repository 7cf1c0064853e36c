#!/usr/bin/env bash
# Refreshes the README's pictures from Xvfb, with the Japanese font mapped as in the tests:
#   docs/debug-display.png     the debug display with a few lines (framework_demo.exe)
#   docs/framework-window.png  a framework window painting the sample disc's picture (framework_demo.exe)
#   docs/please-wait.png, docs/success.png  the setup's please-wait dialog with its bar part way, and its
#                              final message (tools/run-sample.sh --docs)
#
#   tools/make-screenshots.sh BUILD
#
# BUILD is the build folder of ./dev (BUILD/x86_64 holds the programs).
set -euo pipefail
ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=$(realpath -m "${1:?usage: $0 BUILD}")
source "$ROOT/tests/harness/wine.sh"
DEMO=$BUILD/x86_64/tools/framework_demo.exe
[ -f "$DEMO" ] || { echo "missing $DEMO: build first (./dev build)" >&2; exit 1; }

WORK=$BUILD/screenshots
trap wine_env_stop EXIT
wine_env_start "$WORK/wine"
"$ROOT/tools/make-sample-disc.sh" "$ADDON_DISC_FOLDER"
mkdir -p "$WORK/shots"
rm -f "$WORK/shots"/*
# Started in the disc's root, so the demo finds data\v_006_000.bmp through the file front.
(cd "$ADDON_DISC_FOLDER" && wine "$DEMO" "$(wine_path "$WORK/shots")" </dev/null)
for name in debug-display framework-window; do
  convert "$WORK/shots/$name.bmp" -trim +repage "$ROOT/docs/$name.png"
done
wine_env_stop
trap - EXIT
# The private Xvfb is gone with the environment: run-sample.sh makes its own.
unset DISPLAY
echo "== docs/debug-display.png and docs/framework-window.png written"
"$ROOT/tools/run-sample.sh" "$BUILD" --docs
