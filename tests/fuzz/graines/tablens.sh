#!/usr/bin/env bash
# Seeds of fuzz_tablens: the MBR seeds of fuzz_partitions (same layout),
# and GPT disks made by sgdisk: byte 0 (bit 0: 4096-byte sectors, bit 1:
# -tds), the sector count, then the protective MBR, the primary header and
# array, the backup array and header, each as its sector number and its
# first 512 bytes.
set -eu
out=$1
"$(dirname "$0")/partitions.sh" "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
le64() {  # value -> 8 little-endian bytes
  local v=$1 i
  for i in 0 1 2 3 4 5 6 7; do printf "\\x$(printf %02x $(( (v >> (8 * i)) & 255 )))"; done
}
enregistrer() {  # image, sector
  le64 "$2"
  dd if="$1" bs=512 skip="$2" count=1 status=none
}
seed_gpt() {  # image, selector byte, sector count, name
  local img=$1 n l s
  l=$(( $(stat -c %s "$img") / 512 - 1 ))
  { printf "\\x$2"; le64 "$3"
    for s in $(seq 0 33) $(seq $(( l - 32 )) "$l"); do enregistrer "$img" "$s"; done; } >"$out/$4"
}
truncate -s 32M "$tmp/g.img"
sgdisk -o -n 1:2048:+8M -t 1:8300 -n 2:0:+4M -t 2:ef00 -n 3:0:0 -t 3:0700 "$tmp/g.img" >/dev/null
seed_gpt "$tmp/g.img" 00 65536 sgdisk_gpt
seed_gpt "$tmp/g.img" 02 65537 sgdisk_gpt_disque_plus_grand_tds
seed_gpt "$tmp/g.img" 00 65535 sgdisk_gpt_disque_plus_petit
