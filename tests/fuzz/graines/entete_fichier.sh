#!/usr/bin/env bash
# Seeds of fuzz_entete_fichier: a header of each support type 0 to 6 with a
# subheader, the fields at plausible values (CRCs by zlib).
set -eu
out=$1
python3 - "$out" <<'PY'
import struct, sys, zlib
out = sys.argv[1]
guid = bytes.fromhex("a2a0d0ebe5b9334487c068b6b72699c7")
for support in range(7):
    h = bytearray(104)
    struct.pack_into("<HHB", h, 0, 0xAA55, 2, 1)
    struct.pack_into("<BBBB", h, 13, 0, 0, 3 if support in (0, 4) else 0, support)
    struct.pack_into("<B4Q H B", h, 33, 1, 254, 1023, 63, 1 << 21, 512, 0)
    struct.pack_into("<BBB", h, 73, 1, 2 if support == 0 else 0, 0x0B)
    struct.pack_into("<QQ", h, 86, 2048, 1 << 20)
    struct.pack_into("<H", h, 102, 0xAA55)
    if support == 4:
        h[69:72] = guid[0:3]
        h[73:86] = guid[3:16]
    struct.pack_into("<I", h, 9, zlib.crc32(bytes(h)))
    s = bytearray(struct.pack("<QQI", 1 << 19, 1 << 22, 0))
    struct.pack_into("<I", s, 16, zlib.crc32(bytes(s)))
    open(f"{out}/support_{support}", "wb").write(bytes(h + s))
PY
