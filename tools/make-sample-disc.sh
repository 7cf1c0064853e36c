#!/usr/bin/env bash
# Writes a sample add-on disc into DIR (the folder behind the disc's drive letter): the four category
# folders data\gamedata2, 5, 3 and 4 with generated files and the wizard's two pictures. The caller copies
# setup.exe to the disc's root. Everything is deterministic: the same disc on every run.
#
#   tools/make-sample-disc.sh [--large-mib N] [--packtool PACKTOOL.EXE] DIR
#
# --large-mib sets the size of the one large file (data\gamedata5\movie\opening.mpg), 3 MiB by default.
# --packtool names the project's packtool.exe (run with wine, so in a Wine environment): the second
# picture then goes on the disc as its single-file pack instead of a loose file, as a pressed disc may
# carry it. Without it both pictures are loose files.
# File names are UTF-8 here; under ja_JP.UTF-8 Wine shows them to programs as Shift-JIS. Several names
# have a Shift-JIS trail byte equal to '\' (ソ 83 5C, 表 95 5C, 能 94 5C); in 表voice that byte stands
# right before "voice", which is still no folder named voice.
set -euo pipefail

large_mib=3
packtool=
while [ $# -gt 1 ]; do
  case $1 in
    --large-mib) large_mib=$2; shift 2 ;;
    --packtool) packtool=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 1 ] || ! [[ $large_mib =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [--large-mib N] [--packtool PACKTOOL.EXE] DIR" >&2
  exit 2
fi
disc=$1
mkdir -p "$disc"
rm -rf "$disc/data"
caller_locale=${LC_ALL:-}  # Wine runs in the caller's locale (code page 932 under ja_JP.UTF-8)
export LC_ALL=C

# All 256 byte values once, so every file carries CR, LF, Ctrl-Z and NUL bytes near its start.
every_byte() {
  local i escapes=
  for ((i = 0; i < 256; i++)); do printf -v escapes '%s\\x%02x' "$escapes" $i; done
  printf "$escapes"
}
EVERY_BYTE_FILE=$(mktemp)
trap 'rm -f "$EVERY_BYTE_FILE"' EXIT
every_byte >"$EVERY_BYTE_FILE"

# sample FILE SIZE: SIZE bytes that depend on the file's name (so no two files are alike).
sample() {
  local path=$disc/data/$1 size=$2
  mkdir -p "$(dirname "$path")"
  {
    printf '%s\n' "$1"
    cat "$EVERY_BYTE_FILE"
    seq -f "$1 %09g " 1 $((size / 12 + 2))
  } | head -c "$size" >"$path" || true  # the generator stops with SIGPIPE once head has enough
  [ "$(stat -c %s "$path")" = "$size" ] || { echo "cannot write $path" >&2; exit 1; }
}

# le16/le32 N: N as little-endian bytes.
le16() {
  local escapes
  printf -v escapes '\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255))
  printf "$escapes"
}
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }

# bitmap FILE WIDTH HEIGHT HUE: a 24-bit bottom-up BMP with a colour gradient.
bitmap() {
  local path=$disc/data/$1 width=$2 height=$3 hue=$4
  local stride=$(((width * 3 + 3) / 4 * 4))
  local pad=$((stride - width * 3)) x y row
  {
    printf 'BM'; le32 $((54 + stride * height)); le32 0; le32 54
    le32 40; le32 "$width"; le32 "$height"; le16 1; le16 24; le32 0; le32 $((stride * height))
    le32 2835; le32 2835; le32 0; le32 0
    for ((y = 0; y < height; y++)); do
      row=
      for ((x = 0; x < width; x++)); do
        printf -v row '%s\\x%02x\\x%02x\\x%02x' "$row" $(((x * 4 + hue) & 255)) $(((y * 5) & 255)) \
          $(((x + y + hue * 2) & 255))
      done
      for ((x = 0; x < pad; x++)); do row+='\x00'; done
      printf "$row"
    done
  } >"$path"
}

# Category 1: always installed.
sample gamedata2/readme.txt 2345
sample gamedata2/empty.dat 0
sample gamedata2/one.dat 1
sample gamedata2/chunk16384.bin 16384
sample gamedata2/chunk16385.bin 16385
sample gamedata2/ソ表能.txt 777
sample gamedata2/表示/能力表.txt 4096
sample gamedata2/表示/ソース/表.bin 40000
sample gamedata2/script/scene/s001.scn 12000
sample gamedata2/script/scene/s002.scn 65543
sample gamedata2/voice/v0001.ogg 30001
sample gamedata2/voice/chapter1/v0101.ogg 20480
sample gamedata2/voice/chapter1/v0102.ogg 9999
sample gamedata2/表voice/台詞.txt 1234

# Category 0: always installed; holds the one large file.
sample gamedata5/system/config.dat 512
sample gamedata5/movie/opening.mpg $((large_mib * 1048576 + 123))
sample gamedata5/voice/sys/ok.ogg 15000
sample gamedata5/bgm/表題.bin 100000

# Category 2: with patch pack 1000 in the game's folder.
sample gamedata3/patch1000/event/e100.scn 8192
sample gamedata3/voice/p100.ogg 7000

# Category 3: with patch pack 1005 in the game's folder.
sample gamedata4/tokubetsu/特別.txt 3333
sample gamedata4/tokubetsu/cg/t001.bin 50000

# The wizard's pictures: the first a loose file, the second (with --packtool) its single-file pack.
bitmap v_006_000.bmp 64 48 0
bitmap v_006_001.bmp 37 21 90
if [ -n "$packtool" ]; then
  picture=$(realpath "$disc/data/v_006_001.bmp")
  LC_ALL=$caller_locale wine "$packtool" pack-single "Z:${picture//\//\\}" >/dev/null 2>&1 </dev/null ||
    { echo "packtool could not pack $picture" >&2; exit 1; }
  ls "$disc"/data/v_006_001*.pak >/dev/null 2>&1 || { echo "no single-file pack beside $picture" >&2; exit 1; }
  rm -f "$picture"
fi
