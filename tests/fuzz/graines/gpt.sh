#!/usr/bin/env bash
# Seeds of fuzz_gpt from tables made by the real tools: byte 0 (0: 512-byte
# sectors, 1: 4096), the primary header's sector, the backup header's sector.
set -eu
out=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
seed() {  # image, sector size, selector byte, name
  local last=$(( $(stat -c %s "$1") / $2 - 1 ))
  { printf "\\x$3"; dd if="$1" bs="$2" skip=1 count=1 status=none
    dd if="$1" bs="$2" skip="$last" count=1 status=none; } >"$out/$4"
}
truncate -s 8M "$tmp/a.img"
sgdisk -o -n 1:2048:+1M -t 1:ef00 -n 2:0:0 -t 2:8300 "$tmp/a.img" >/dev/null
seed "$tmp/a.img" 512 00 sgdisk_512
truncate -s 16M "$tmp/b.img"
printf 'g\nn\n\n\n+1M\nw\n' | fdisk -b 4096 "$tmp/b.img" >/dev/null
seed "$tmp/b.img" 4096 01 fdisk_4096
