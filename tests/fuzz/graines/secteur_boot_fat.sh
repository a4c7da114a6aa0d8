#!/usr/bin/env bash
# Seeds of fuzz_secteur_boot_fat: boot sectors made by mkfs.fat, each followed
# by the byte that names its FAT type (0: 12, 1: 16, 2: 32).
set -eu
out=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
seed() {  # name, KiB, type byte, mkfs.fat options...
  local name=$1 kib=$2 type=$3
  shift 3
  rm -f "$tmp/f.img"
  truncate -s "${kib}K" "$tmp/f.img"
  mkfs.fat -I "$@" "$tmp/f.img" >/dev/null
  { dd if="$tmp/f.img" bs=512 count=1 status=none; printf "\\x$type"; } >"$out/$name"
}
seed fat12 1440 00 -F 12
seed fat16 32768 01 -F 16
seed fat16_2048 65536 01 -F 16 -S 2048 -s 1
seed fat32 65536 02 -F 32
