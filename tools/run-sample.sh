#!/usr/bin/env bash
# Runs the built setup.exe the way a player would: from the add-on disc, on a machine where the base game
# is installed. In a private Wine prefix it makes the sample disc behind drive G:, a base-game folder
# C:\Games\Sorvane registered in App Paths (with patch pack 1000, so gamedata3 comes along), starts
# G:\setup.exe through setup_robot.exe (which prints every message box and presses OK), and lists what
# was installed where. Screenshots of the please-wait dialog and of the final message are saved as PNG.
#
#   tools/run-sample.sh BUILD [--docs]
#
# BUILD is the build folder of ./dev (BUILD/x86_64 holds setup.exe and setup_robot.exe). The window shows
# on $DISPLAY when one is set, else on a private Xvfb. --docs also copies the screenshots to docs/.
set -euo pipefail
ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=$(realpath -m "${1:?usage: $0 BUILD [--docs]}")
TO_DOCS=${2:-}
source "$ROOT/tests/harness/wine.sh"

SETUP=$BUILD/x86_64/setup/setup.exe
ROBOT=$BUILD/x86_64/tools/setup_robot.exe
for f in "$SETUP" "$ROBOT"; do
  [ -f "$f" ] || { echo "missing $f: build first (./dev build)" >&2; exit 1; }
done
WORK=$BUILD/sample-run
SHOTS=$WORK/shots

# The large sample file is only there to make the copy last: it goes with the run (twice 384 MiB).
cleanup() {
  wine_env_stop
  rm -f "${ADDON_DISC_FOLDER:-/nonexistent}/data/gamedata5/movie/opening.mpg" \
    "${GAME:-/nonexistent}/movie/opening.mpg"
}
trap cleanup EXIT
echo "== preparing a Wine prefix in $WORK/wine"
wine_env_start "$WORK/wine" yes
rm -rf "$SHOTS"
mkdir -p "$SHOTS"

# The disc: big enough that copying takes over a second, so the please-wait dialog is seen and painted
# (the setup handles one window message per 50 ms while it copies).
echo "== sample disc on G: ($ADDON_DISC_FOLDER)"
"$ROOT/tools/make-sample-disc.sh" --large-mib 384 --packtool "$BUILD/x86_64/tools/packtool.exe" \
  "$ADDON_DISC_FOLDER"
cp "$SETUP" "$ADDON_DISC_FOLDER/setup.exe"
wine_env_protect_disc

GAME_WIN='C:\Games\Sorvane'
GAME=$WINEPREFIX/drive_c/Games/Sorvane
echo "== base game in $GAME_WIN, registered under HKLM\\...\\App Paths\\Sorvane.exe"
mkdir -p "$GAME/patch" "$GAME/save"
printf 'MZ sample base game\n' >"$GAME/Sorvane.exe"
printf 'sample patch pack 1000\n' >"$GAME/patch/1000_tolvemark1116120116.pak"
printf 'save data of the player\n' >"$GAME/save/save01.dat"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Sorvane.exe'
wine reg add "$KEY" /ve /d "$GAME_WIN\\Sorvane.exe" /f >/dev/null 2>&1
wine reg add "$KEY" /v Path /d "$GAME_WIN" /f >/dev/null 2>&1
(cd "$GAME" && find . -type f -printf '%P\n' | sort) >"$WORK/before.txt"

echo "== running G:\\setup.exe"
wine "$ROBOT" --cwd 'C:\' --timeout 300 --wait-shot "$(wine_path "$SHOTS/please-wait.bmp")" \
  --box-shots "$(wine_path "$SHOTS/box")" 'G:\setup.exe' </dev/null | tee "$WORK/robot.txt"
rc=${PIPESTATUS[0]}

echo "== installed into $GAME_WIN (bytes, relative path)"
(cd "$GAME" && find . -type f -printf '%P\n' | sort) >"$WORK/after.txt"
comm -13 "$WORK/before.txt" "$WORK/after.txt" | while IFS= read -r file; do
  printf '  %10s  %s\n' "$(stat -c %s "$GAME/$file")" "$file"
done
echo "   ($(comm -13 "$WORK/before.txt" "$WORK/after.txt" | wc -l) files; already there: $(tr '\n' ' ' <"$WORK/before.txt"))"

# Screenshots: the full screen cut down to the windows on it.
shopt -s nullglob
for bmp in "$SHOTS"/*.bmp; do
  convert "$bmp" -trim +repage "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "== screenshots in $SHOTS: $(cd "$SHOTS" && echo *.png)"
if [ "$TO_DOCS" = --docs ]; then
  # Only a clean run's pictures: the please-wait dialog and one box, the success message.
  if [ "$rc" = 0 ] && [ -f "$SHOTS/please-wait.png" ] && [ ! -f "$SHOTS/box-2.png" ] &&
    grep -q '^message box 1: \[正常終了\]' "$WORK/robot.txt"; then
    mkdir -p "$ROOT/docs"
    cp "$SHOTS/please-wait.png" "$ROOT/docs/please-wait.png"
    cp "$SHOTS/box-1.png" "$ROOT/docs/success.png"
    echo "   copied to $ROOT/docs (please-wait.png, success.png)"
  else
    echo "   not copied to docs/: the run did not end with the success message alone" >&2
  fi
fi
echo "== setup.exe ended with exit code $rc"
exit "$rc"
