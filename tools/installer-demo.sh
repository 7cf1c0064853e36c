#!/usr/bin/env bash
# The installer helpers end to end, in a private Wine prefix: installer_demo.exe installs the sample
# game's files into C:\Games\SorvaneDemo with uninstall.exe among them, registers its App Paths and
# Uninstall entries, makes a desktop and a programs shortcut and writes the uninstall information file.
# A file of the player's own is then put in the game folder. The script lists what was registered and
# made, runs the registered uninstall command (setup_robot.exe answers its boxes: yes, then OK) and lists
# what is left: nothing of the demo, the player's file and its folders untouched.
#
#   tools/installer-demo.sh BUILD
#
# BUILD is the build folder of ./dev (BUILD/x86_64/tools holds the programs). Exit code 0 when everything
# was as expected, 1 otherwise.
set -euo pipefail
ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=$(realpath -m "${1:?usage: $0 BUILD}")
source "$ROOT/tests/harness/wine.sh"

TOOLS=$BUILD/x86_64/tools
for f in installer_demo.exe uninstall.exe setup_robot.exe; do
  [ -f "$TOOLS/$f" ] || { echo "missing $TOOLS/$f: build first" >&2; exit 1; }
done
WORK=$BUILD/installer-demo
trap wine_env_stop EXIT
echo "== preparing a Wine prefix in $WORK/wine"
wine_env_start "$WORK/wine"

# The game: the sample disc's gamedata2 files, the game's executable and the uninstaller.
SOURCE=$WORK/source
rm -rf "$SOURCE" "$WORK/disc"
"$ROOT/tools/make-sample-disc.sh" "$WORK/disc" >/dev/null
mkdir -p "$SOURCE"
cp -r "$WORK/disc/data/gamedata2" "$SOURCE/data"
printf 'MZ sample game\n' >"$SOURCE/Sorvane.exe"
cp "$TOOLS/uninstall.exe" "$SOURCE/uninstall.exe"
rm -rf "$WORK/disc"

DRIVE_C=$WINEPREFIX/drive_c
GAME=$DRIVE_C/Games/SorvaneDemo
USERS=$DRIVE_C/users/$(ls "$DRIVE_C/users" | grep -v '^Public$' | head -1)
DESKTOP=$USERS/Desktop
# Wine links the user's desktop to the host's home folder: give the demo a desktop of its own.
if [ -L "$DESKTOP" ]; then
  mkdir -p "$WORK/wine/desktop"
  ln -sfn "$WORK/wine/desktop" "$DESKTOP"
fi
PROGRAMS=$USERS/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs
APP_PATHS='Software\Microsoft\Windows\CurrentVersion\App Paths\SorvaneDemo.exe'
UNINSTALL='Software\Microsoft\Windows\CurrentVersion\Uninstall\SorvaneDemo'

# wine's reg prints Shift-JIS: show it as UTF-8.
# The demo runs the 64-bit build: look at the 64-bit registry view (`wine reg` may be the 32-bit reg,
# which sees the Uninstall key of the 32-bit view).
reg_query() { wine reg query "$1" /reg:64 2>/dev/null | iconv -f CP932 -t UTF-8 | tr -d '\r' | sed '/^$/d; s/^/     /'; }
list_registered() {
  local root key found=0
  for root in HKLM HKCU; do
    for key in "$APP_PATHS" "$UNINSTALL"; do
      if wine reg query "$root\\$key" /reg:64 >/dev/null 2>&1; then
        echo "   $root\\$key"; reg_query "$root\\$key"; found=1
      fi
    done
  done
  [ $found = 1 ] || echo "   (no App Paths or Uninstall entry of SorvaneDemo)"
}
list_files() {
  echo "   in C:\\Games\\SorvaneDemo:"
  if [ -d "$GAME" ]; then (cd "$GAME" && find . -mindepth 1 -printf '     %y %P\n' | sort -k2); else echo "     (no folder)"; fi
  echo "   shortcuts and menu folders:"
  (cd "$USERS" && find Desktop AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs -mindepth 1 \
    \( -iname '*.lnk' -o -type d \) -printf '     %y %p\n' | grep -i sorvane || echo "     (none)")
}

echo "== installer_demo.exe: installing into C:\\Games\\SorvaneDemo"
wine "$TOOLS/installer_demo.exe" "$(wine_path "$SOURCE")" 'C:\Games\SorvaneDemo' </dev/null | tr -d '\r' |
  iconv -f CP932 -t UTF-8 | sed 's/^/   /'
[ "${PIPESTATUS[0]}" = 0 ] || { echo "installer_demo.exe failed" >&2; exit 1; }
echo "== the player's own file: save\\save01.dat"
mkdir -p "$GAME/save"
printf 'save data of the player\n' >"$GAME/save/save01.dat"

echo "== registered"
list_registered
echo "== made"
list_files
echo "== the uninstall information file"
iconv -f CP932 -t UTF-8 "$GAME/uninstall.dat" | tr -d '\r' | sed 's/^/   /'

COMMAND=$(wine reg query "HKLM\\$UNINSTALL" /v UninstallString /reg:64 2>/dev/null ||
  wine reg query "HKCU\\$UNINSTALL" /v UninstallString /reg:64)
COMMAND=$(printf '%s\n' "$COMMAND" | tr -d '\r' | sed -n 's/^ *UninstallString *REG_SZ *//p')
echo "== running the registered uninstall command: $COMMAND"
[[ $COMMAND =~ ^\"([^\"]*)\"\ \"([^\"]*)\"$ ]] || { echo "unexpected uninstall command" >&2; exit 1; }
rc=0
wine "$TOOLS/setup_robot.exe" --timeout 60 "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" </dev/null | sed 's/^/   /' ||
  rc=$?
rc=${PIPESTATUS[0]}
echo "   uninstall.exe ended with exit code $rc"
# Its own file goes once it has ended, removed by its copy in the temp folder.
for i in $(seq 100); do [ -e "$GAME/uninstall.exe" ] || break; sleep 0.1; done

echo "== left after the uninstall"
list_registered
list_files

# What must hold: no entry, nothing of the demo, the player's file as it was.
problems=()
wine reg query "HKLM\\$APP_PATHS" /reg:64 >/dev/null 2>&1 && problems+=("App Paths entry under HKLM")
wine reg query "HKCU\\$APP_PATHS" /reg:64 >/dev/null 2>&1 && problems+=("App Paths entry under HKCU")
wine reg query "HKLM\\$UNINSTALL" /reg:64 >/dev/null 2>&1 && problems+=("Uninstall entry under HKLM")
wine reg query "HKCU\\$UNINSTALL" /reg:64 >/dev/null 2>&1 && problems+=("Uninstall entry under HKCU")
left=$(cd "$GAME" 2>/dev/null && find . -mindepth 1 -printf '%P\n' | sort | tr '\n' ' ')
[ "$left" = "save save/save01.dat " ] || problems+=("game folder holds: $left")
[ "$(cat "$GAME/save/save01.dat" 2>/dev/null)" = 'save data of the player' ] || problems+=("the player's file changed")
[ -e "$DESKTOP/Sorvane Demo.lnk" ] && problems+=("desktop shortcut")
[ -e "$PROGRAMS/Sorvane Demo" ] && problems+=("programs folder")
[ "$rc" = 0 ] || problems+=("uninstall.exe exit code $rc")
if [ ${#problems[@]} -gt 0 ]; then
  printf '== NOT as expected: %s\n' "${problems[@]}" >&2
  exit 1
fi
echo "== as expected: nothing of the demo is left; the player's save folder and file are untouched"
copies=$(find "$USERS" -maxdepth 4 -name 'uninstall-*.exe' -printf '%P ' 2>/dev/null || true)
[ -z "$copies" ] || echo "   (the uninstaller's helper copy in the temp folder, deleted at the next restart: $copies)"
