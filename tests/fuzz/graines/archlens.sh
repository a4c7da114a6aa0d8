#!/usr/bin/env bash
# Seeds of fuzz_archlens: correct backup files of every support type, with
# and without subheader, data of 0, 1 and two full read blocks, and the second
# file of a chained backup; made by the fuzz build's generer_sauvegarde.
set -eu
out=$1
gen=${LENS_GENERATEUR:-${LENS_BUILD_ROOT:-build}/fuzz/tests/fuzz/generer_sauvegarde}
[ -x "$gen" ] || { echo "no generator at $gen" >&2; exit 1; }
"$gen" "$out/disque" dataSize=300
"$gen" "$out/vide" dataSize=0
"$gen" "$out/deux_blocs" dataSize=65536
"$gen" "$out/fat32_mbr" typeSupport=0 typeElement=3 typePartition=0x0c numeroPrincipal=1 \
  nombreSecteurs=409600 nbSecteursMin=69632 nbSecteursMax=8388608 dataSize=1000
"$gen" "$out/ntfs_gpt" typeSupport=4 typeElement=5 guidType=a2a0d0ebe5b9334487c068b6b72699c7 \
  nbSecteursMax=1048576 dataSize=1
"$gen" "$out/disquette" typeSupport=2 typeElement=9 typeAcces=1 dataSize=512
"$gen" "$out/peripherique" typeSupport=3 typeElement=10 tailleSecteur=4096 dataSize=64
"$gen" "$out/fichier_disque" typeSupport=5 typeElement=8 dataSize=64
"$gen" "$out/fichier_lecteur" typeSupport=6 dataSize=100
"$gen" "$out/ext2" typeElement=4 dataSize=900 parts=600,300
rm -f "$out/ext2.1"
