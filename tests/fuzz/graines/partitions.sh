#!/usr/bin/env bash
# Seeds of fuzz_partitions from tables made by sfdisk, sgdisk and fdisk: byte
# 0 (0: 512-byte sectors, 1: 4096), the sector count, then each table sector
# (the MBR and every EBR of the chain; or the MBR, both GPT headers and the
# sectors of both entry arrays that hold an entry) as its number and its
# first 512 bytes.
set -eu
out=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
le64() {  # value -> 8 little-endian bytes
  local v=$1 i
  for i in 0 1 2 3 4 5 6 7; do printf "\\x$(printf %02x $(( (v >> (8 * i)) & 255 )))"; done
}
octet() { od -A n -t u1 -j "$2" -N 1 "$1" | tr -d ' '; }
mot() { od -A n -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
mot64() { od -A n -t u8 -j "$2" -N 8 "$1" | tr -d ' '; }
enregistrer() {  # image, sector size, sector
  le64 "$3"
  dd if="$1" bs="$2" skip="$3" count=1 status=none | head -c 512
}
seed() {  # image, sector size, selector byte, name
  local img=$1 z=$2 e type base ebr lien n
  { printf "\\x$3"; le64 $(( $(stat -c %s "$img") / z )); enregistrer "$img" "$z" 0
    for e in 0 1 2 3; do
      type=$(octet "$img" $(( 446 + 16 * e + 4 )))
      case $type in 5 | 15 | 133) ;; *) continue ;; esac
      base=$(mot "$img" $(( 446 + 16 * e + 8 )))
      ebr=$base
      for n in $(seq 255); do
        enregistrer "$img" "$z" "$ebr"
        type=$(octet "$img" $(( ebr * z + 462 + 4 )))
        case $type in 5 | 15 | 133) ;; *) break ;; esac
        lien=$(mot "$img" $(( ebr * z + 462 + 8 )))
        ebr=$(( base + lien ))
      done
    done; } >"$out/$4"
}
logiques() {  # count, first start, size
  local i
  for i in $(seq 0 $(( $1 - 1 ))); do echo "start=$(( $2 + i * ($3 + 2048) )), size=$3, type=83"; done
}
truncate -s 64M "$tmp/a.img"
printf 'label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=8192, type=7\nstart=18432, size=8192, type=c\nstart=26624, size=8192, type=82\n' |
  sfdisk -q "$tmp/a.img" >/dev/null
seed "$tmp/a.img" 512 00 sfdisk_primaires
truncate -s 64M "$tmp/b.img"
{ printf 'label: dos\nstart=2048, size=8192, type=83\nstart=10240, size=40960, type=f\n'
  logiques 3 12288 4096; } | sfdisk -q "$tmp/b.img" >/dev/null
seed "$tmp/b.img" 512 00 sfdisk_etendue
truncate -s 64M "$tmp/c.img"
{ printf 'label: dos\nstart=2048, size=120000, type=5\n'; logiques 50 4096 100; } |
  sfdisk -q "$tmp/c.img" >/dev/null
seed "$tmp/c.img" 512 00 sfdisk_50_logiques
truncate -s 64M "$tmp/d.img"
printf 'label: dos\nstart=1, size=131071, type=ee\n' | sfdisk -q "$tmp/d.img" >/dev/null
seed "$tmp/d.img" 512 00 sfdisk_protecteur
truncate -s 64M "$tmp/e.img"
printf 'o\nn\np\n1\n256\n+2047\nn\ne\n2\n2304\n+7999\nn\nl\n2560\n+511\nn\nl\n3328\n+511\nw\n' |
  fdisk -b 4096 "$tmp/e.img" >/dev/null 2>&1
seed "$tmp/e.img" 4096 01 fdisk_4096
# A GPT: the sectors the listing reads, all-zero array sectors left out
# (they read as zeros). Optional sector count: the disk's reported size.
enregistrerSiUtilise() {  # image, sector size, sector
  if [ "$(dd if="$1" bs="$2" skip="$3" count=1 status=none | head -c 512 | tr -d '\0' | wc -c)" -gt 0 ]; then
    enregistrer "$@"
  fi
}
seed_gpt() {  # image, sector size, selector byte, name [, sector count]
  local img=$1 z=$2 alt n a s debut
  alt=$(mot64 "$img" $(( z + 32 )))
  n=$(mot "$img" $(( z + 80 )))
  a=$(( (n * 128 + z - 1) / z ))
  { printf "\\x$3"; le64 "${5:-$(( $(stat -c %s "$img") / z ))}"
    enregistrer "$img" "$z" 0; enregistrer "$img" "$z" 1
    for debut in $(mot64 "$img" $(( z + 72 ))) $(mot64 "$img" $(( alt * z + 72 ))); do
      for s in $(seq "$debut" $(( debut + a - 1 ))); do enregistrerSiUtilise "$img" "$z" "$s"; done
    done
    enregistrer "$img" "$z" "$alt"; } >"$out/$4"
}
truncate -s 16M "$tmp/f.img"
sgdisk -n 1:2048:+1M -t 1:ef00 -n 2:0:+2M -t 2:0700 -n 3:0:+1M -t 3:8200 -n 5:0:+1M -t 5:fd00 \
  -n 6:0:0 -t 6:8300 "$tmp/f.img" >/dev/null
seed_gpt "$tmp/f.img" 512 00 sgdisk_gpt
# The backup header past the reported end: only -tds reads the table.
seed_gpt "$tmp/f.img" 512 00 sgdisk_gpt_disque_reduit $(( (16 << 20) / 512 - 1 ))
truncate -s 20M "$tmp/f.img"
seed_gpt "$tmp/f.img" 512 00 sgdisk_gpt_disque_agrandi
truncate -s 8M "$tmp/g.img"
sgdisk -S 256 -n 200:4096:+1M "$tmp/g.img" >/dev/null
seed_gpt "$tmp/g.img" 512 00 sgdisk_gpt_256_entrees
truncate -s 16M "$tmp/h.img"
printf 'g\nn\n\n\n+1M\nn\n\n\n+2M\nt\n2\n19\nn\n\n\n\nw\n' | fdisk -b 4096 "$tmp/h.img" >/dev/null 2>&1
seed_gpt "$tmp/h.img" 4096 01 fdisk_gpt_4096
