#!/usr/bin/env bash
# Seeds of fuzz_entete_fichier: a header of each support type 0 to 6 and a
# subheader, the fields at plausible values. The description reads no CRC,
# so they are left 0 (perl-base is on every Debian system; zlib is not).
set -eu
out=$1
for support in 0 1 2 3 4 5 6; do
  perl -e '
    my ($s) = @ARGV;
    my $type = ($s == 0 || $s == 4) ? 3 : 0;
    my $h = pack("v v C V V C C C C V Q< V C", 0xAA55, 2, 1, 0, 0, 0, 0, $type, $s, 0, 0, 0, 1);
    $h .= pack("Q< Q< Q< Q< v C", 254, 1023, 63, 1 << 21, 512, 0);
    my $guid = pack("H*", "a2a0d0ebe5b9334487c068b6b72699c7");
    if ($s == 4) {
      $h .= substr($guid, 0, 3) . "\0" . substr($guid, 3, 13);
    } else {
      $h .= "\0\0\0\0" . pack("C C C", 1, $s == 0 ? 2 : 0, 0x0B) . ("\0" x 10);
    }
    $h .= pack("Q< Q< v", 2048, 1 << 20, 0xAA55);
    die "header of " . length($h) . " bytes\n" unless length($h) == 104;
    print $h . pack("Q< Q< V", 1 << 19, 1 << 22, 0);
  ' "$support" >"$out/support_$support"
done
