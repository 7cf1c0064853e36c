# Wine environment for the test programs and for running setup.exe: one fresh prefix in the build tree,
# one Xvfb (unless a display is wanted and present), one persistent wineserver. Sourced by ./dev.
# The prefix is made anew by every start (none is kept or copied from a template): a prefix made by
# another Wine set-up (another version, or before the 32-bit loader was installed) fails many checks.
# With Wine's 32-bit loader installed the one 64-bit prefix runs both the x86_64 and the i686 programs.
#
# Drives of the prefix:
#   C:  the prefix's own drive (the base game is installed below it)
#   E:  CD-ROM drive with no disc (an empty folder)
#   F:  CD-ROM drive whose folder the tests fill
#   G:  CD-ROM drive holding the add-on disc (read-only where bind mounts are allowed)
#   T:  a 16 MiB tmpfs, for "disk full" cases (only where mounting is allowed)
# What a test may rely on is passed to it in ADDON_* environment variables.

wine_env_start() {
  local root=$1 want_display=${2:-no}
  WINE_ENV_ROOT=$root
  # winemenubuilder off: shortcuts that programs make would otherwise turn up in the host's menus.
  export WINEPREFIX=$root/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LC_ALL=ja_JP.UTF-8
  wine_env_unmount
  rm -rf "$root"
  mkdir -p "$root"/{cd-e,cd-f,cd-g,small}

  if [ "$want_display" = yes ] && [ -n "${DISPLAY:-}" ]; then
    WINE_ENV_XVFB_PID=
  else
    local n=90
    while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >"$root/xvfb.log" 2>&1 &
    WINE_ENV_XVFB_PID=$!
    export DISPLAY=:$n
    local i
    for i in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  fi

  wineboot -i >"$root/wineboot.log" 2>&1
  wineserver -w

  # Drive letters, CD-ROM types, no window manager stalls, fonts for Japanese dialogs.
  local dos=$WINEPREFIX/dosdevices
  ln -sfn "$root/cd-e" "$dos/e:"
  ln -sfn "$root/cd-f" "$dos/f:"
  ln -sfn "$root/cd-g" "$dos/g:"
  export ADDON_CD_DRIVES=EFG ADDON_DISC_DRIVE=G: ADDON_DISC_FOLDER=$root/cd-g
  unset ADDON_SMALL_DRIVE ADDON_DISC_READONLY
  if mount -t tmpfs -o size=16m tmpfs "$root/small" 2>/dev/null; then
    ln -sfn "$root/small" "$dos/t:"
    export ADDON_SMALL_DRIVE=T:
  fi
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  cat >"$root/settings.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"e:"="cdrom"
"f:"="cdrom"
"g:"="cdrom"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
"Decorated"="Y"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
REG
  # Through the 64-bit view: with Wine's 32-bit loader installed, `wine reg` is the 32-bit reg, whose
  # writes under HKLM\Software land in Wow6432Node, where Wine's 64-bit drive manager never looks.
  wine reg import "$root/settings.reg" /reg:64 >/dev/null 2>&1
  # The full-width font name goes through reg, which takes UTF-8 arguments.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d IPAGothic /f >/dev/null 2>&1
  # A program that crashes ends at once with its exception code, in both registry views (each build
  # reads its own): Wine's default debugger would stop it and wait.
  local view
  for view in 32 64; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /d 'cmd.exe /c exit 1 %ld %ld' /f /reg:$view >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f /reg:$view \
      >/dev/null 2>&1
  done
  wineserver -k; wineserver -w
  wineserver -p
  # Wine's background processes keep the output of the command that starts them: warm up on a file.
  wine cmd /c exit >"$root/warmup.log" 2>&1 </dev/null
}

# Makes the add-on disc folder read-only, like a pressed disc (root ignores permissions otherwise).
wine_env_protect_disc() {
  if mount --bind "$WINE_ENV_ROOT/cd-g" "$WINE_ENV_ROOT/cd-g" 2>/dev/null; then
    if mount -o remount,ro,bind "$WINE_ENV_ROOT/cd-g" 2>/dev/null; then
      export ADDON_DISC_READONLY=1
    fi
  fi
}

# Makes it writable again (to put another setup.exe on it).
wine_env_unprotect_disc() {
  [ -n "${WINE_ENV_ROOT:-}" ] || return 0
  while mountpoint -q "$WINE_ENV_ROOT/cd-g" 2>/dev/null; do umount "$WINE_ENV_ROOT/cd-g" 2>/dev/null || break; done
  unset ADDON_DISC_READONLY
}

wine_env_unmount() {
  [ -n "${WINE_ENV_ROOT:-}" ] || return 0
  local m
  for m in "$WINE_ENV_ROOT/cd-g" "$WINE_ENV_ROOT/small"; do
    while mountpoint -q "$m" 2>/dev/null; do umount "$m" 2>/dev/null || break; done
  done
}

wine_env_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "${WINE_ENV_XVFB_PID:-}" ] && kill "$WINE_ENV_XVFB_PID" 2>/dev/null && wait "$WINE_ENV_XVFB_PID" 2>/dev/null
  WINE_ENV_XVFB_PID=
  wine_env_unmount
}

# Windows form of a host path (Wine maps / to Z:).
wine_path() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
