// Whole runs of tablens' simulation twin on simulated machines: standard
// output compared with tests/programs/attendu/tablens/<name>.txt, the status,
// and the relaunch logs.
#ifdef LENS_JUMEAU_TABLENS
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "programs/jumeau.h"

namespace {

Execution executerJumeau(const MachineTemporaire& m, const std::vector<std::string>& arguments,
                         const std::string& entree, const char* affichage) {
  return executerJumeau(LENS_JUMEAU_TABLENS, m, arguments, entree, affichage);
}

struct CasJumeau {
  const char* nom;         // golden file
  const char* machine;     // directives
  std::vector<std::string> arguments;
  const char* entree;
  int statut;
};

void PrintTo(const CasJumeau& c, std::ostream* flux) { *flux << c.nom; }

const char* const CONSOLE = "tty yes\n";
const char* const SANS_TERMINAL = "tty no\n";

const CasJumeau casJumeau[] = {
    // Runs (no disk on the machine).
    {"sans_argument_console", CONSOLE, {}, "", 0},
    {"noterm_console_pause_finale", CONSOLE, {"-noterm"}, "\n", 0},
    {"pause_et_noterm_obliques", CONSOLE, {"/p", "/noterm"}, "\n", 0},
    {"noterm_sans_terminal", SANS_TERMINAL, {"-noterm"}, "", 0},
    {"toutes_les_options", SANS_TERMINAL,
     {"-d", "-s", "-tds", "-hs", "255/63", "-c", "+1024", "-p", "-noterm", "-noterm"}, "", 0},
    {"geometrie_et_cylindres_de_la_table", CONSOLE,
     {"-hs", "parttable", "-c", "parttable", "-noterm"}, "\n", 0},
    {"noyau_2_5_4_accepte", "tty yes\nuname 2.5.4\nglibc 2.2\n", {}, "", 0},
    // Refused systems: the fatal path, before the banner.
    {"noyau_2_5_3_refuse", "uname 2.5.3\n", {"-noterm"}, "\n", 1},
    {"glibc_2_1_99_refusee", "glibc 2.1.99\n", {"-noterm"}, "\n", 1},
    // Usage errors, after the banner.
    {"aide", SANS_TERMINAL, {"-h"}, "", 1},
    {"aide_oblique_apres_options", SANS_TERMINAL, {"-d", "-s", "/?"}, "", 1},
    {"erreur_avant_aide", SANS_TERMINAL, {"128", "-h"}, "", 1},
    {"numero_de_disque_128", SANS_TERMINAL, {"128"}, "", 1},
    {"deux_numeros_de_disque", SANS_TERMINAL, {"1", "2"}, "", 1},
    {"option_inconnue", SANS_TERMINAL, {"-x"}, "", 1},
    {"numero_puis_option_inconnue", SANS_TERMINAL, {"1", "-x"}, "", 1},
    {"option_collee", SANS_TERMINAL, {"-dp"}, "", 1},
    {"d_deux_fois", SANS_TERMINAL, {"-d", "/d"}, "", 1},
    {"s_deux_fois", SANS_TERMINAL, {"-s", "-s"}, "", 1},
    {"tds_deux_fois", SANS_TERMINAL, {"-tds", "-tds"}, "", 1},
    {"p_deux_fois", SANS_TERMINAL, {"-p", "-p"}, "", 1},
    {"hs_deux_fois", SANS_TERMINAL, {"-hs", "parttable", "-hs", "1/1"}, "", 1},
    {"c_deux_fois", SANS_TERMINAL, {"-c", "parttable", "-c", "1"}, "", 1},
    {"hs_sans_valeur", SANS_TERMINAL, {"-hs"}, "", 1},
    {"hs_sans_barre", SANS_TERMINAL, {"-hs", "16"}, "", 1},
    {"hs_257_tetes", SANS_TERMINAL, {"-hs", "257/63"}, "", 1},
    {"hs_0_tete", SANS_TERMINAL, {"-hs", "0/1"}, "", 1},
    {"hs_64_secteurs", SANS_TERMINAL, {"-hs", "255/64"}, "", 1},
    {"c_sans_valeur", SANS_TERMINAL, {"-c"}, "", 1},
    {"c_x", SANS_TERMINAL, {"-c", "x"}, "", 1},
    {"c_plus_0", SANS_TERMINAL, {"-c", "+0"}, "", 1},
    {"c_1025", SANS_TERMINAL, {"-c", "1025"}, "", 1},
};

void verifierExecution(const MachineTemporaire& m, const char* nom,
                       const std::vector<std::string>& arguments, const char* entree,
                       int statut) {
  Execution e = executerJumeau(m, arguments, entree, nullptr);
  EXPECT_EQ(e.statut, statut);
  EXPECT_EQ(e.sortie, attenduPour("tablens", nom, e.sortie));
  EXPECT_EQ(e.erreur, "");
  EXPECT_EQ(m.lire("exec.log"), "");  // no relaunch without a display
  // Every lock is given back, the last taken first.
  std::istringstream journal(m.lire("locks.log"));
  std::vector<std::string> tenus;
  for (std::string ligne; std::getline(journal, ligne);) {
    if (ligne.rfind("lock ", 0) == 0) {
      tenus.push_back(ligne.substr(5));
    } else {
      ASSERT_FALSE(tenus.empty()) << ligne;
      EXPECT_EQ(ligne, "unlock " + tenus.back());
      tenus.pop_back();
    }
  }
  EXPECT_TRUE(tenus.empty());
}

class Jumeau : public testing::TestWithParam<CasJumeau> {};

TEST_P(Jumeau, SortieAttendue) {
  const CasJumeau& c = GetParam();
  MachineTemporaire m;
  m.machine(c.machine);
  verifierExecution(m, c.nom, c.arguments, c.entree, c.statut);
}

INSTANTIATE_TEST_SUITE_P(Tablens, Jumeau, testing::ValuesIn(casJumeau),
                         [](const testing::TestParamInfo<CasJumeau>& i) {
                           return std::string(i.param.nom);
                         });

}  // namespace

// Disk reports: the images are made in ROOT by a bash script (the real
// tools, then the deliberate damage through the helpers below).
const char* const OUTILS_IMAGES = R"SH(set -eu
le32() {
  local v=$1 i
  for i in 0 1 2 3; do printf "\\$(printf %03o $(( (v >> (8 * i)) & 255 )))"; done
}
# poser IMG OFFSET: standard input written over the image from that byte.
poser() { dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# lba IMG SECTOR N START SIZE: the linear fields of entry N (1-4) of the
# table at that sector (START relative as the table has it).
lba() { { le32 "$4"; le32 "$5"; } | poser "$1" $(( $2 * 512 + 446 + 16 * ($3 - 1) + 8 )); }
# octet IMG OFFSET VALUE (0-255).
octet() { printf "\\$(printf %03o "$3")" | poser "$1" "$2"; }
# crcEntete IMG SECTOR: the CRC of the GPT header there made again (gzip
# ends with the CRC-32 of its input).
crcEntete() {
  local o=$(( $2 * 512 ))
  le32 0 | poser "$1" $(( o + 16 ))
  dd if="$1" bs=1 skip=$o count=92 status=none | gzip -c | tail -c 8 | head -c 4 | poser "$1" $(( o + 16 ))
}
# crcTableaux IMG LAST: the entry-array CRC of both headers (primary array
# at 2, backup array 32 sectors before the backup header at LAST) made again
# from the primary array, then both header CRCs.
crcTableaux() {
  local h
  for h in 1 "$2"; do
    dd if="$1" bs=512 skip=2 count=32 status=none | gzip -c | tail -c 8 | head -c 4 |
      poser "$1" $(( h * 512 + 88 ))
    crcEntete "$1" "$h"
  done
}
# entreeGPT IMG LAST N FIRST END: the sectors of GPT entry N in both arrays.
entreeGPT() {
  local a
  for a in 2 $(( $2 - 32 )); do
    { le32 "$4"; le32 0; le32 "$5"; le32 0; } | poser "$1" $(( a * 512 + ($3 - 1) * 128 + 32 ))
  done
  crcTableaux "$1" "$2"
}
# gpt IMG: two partitions by sgdisk, every GUID fixed.
gpt() {
  sgdisk -o -U 3E2F9A10-6C4B-4D8E-A1F0-7B5C2D9E8F01 \
    -n 1:2048:+8M -t 1:8300 -u 1:6A2F1C11-0B3E-4C77-9D2A-51E0A1B2C301 \
    -n 2:0:+4M -t 2:ef00 -u 2:6A2F1C11-0B3E-4C77-9D2A-51E0A1B2C302 "$1" >/dev/null
}
# mbr IMG: primaries 1 and 2, extended 3 with logicals 5 and 6.
mbr() {
  sfdisk -q "$1" >/dev/null <<EOF
label: dos
label-id: 0x0a0b0c0d
start=2048, size=8192, type=83
start=10240, size=8192, type=7
start=18432, size=40960, type=5
start=20480, size=4096, type=c
start=26624, size=4096, type=82
EOF
}
)SH";

namespace {

struct CasDisque {
  const char* nom;          // golden file
  const char* preparation;  // bash, run in ROOT after OUTILS_IMAGES
  const char* machine;
  std::vector<std::string> arguments;
  const char* entree;
};

void PrintTo(const CasDisque& c, std::ostream* flux) { *flux << c.nom; }

const char* const SDA = "block /dev/sda 8:0 images/a.img\n";
const char* const SDB = "block /dev/sdb 8:16 images/b.img\n";

const CasDisque casDisques[] = {
    // Several disks of each kind: MBR with logicals, GPT, no table, 4096-byte
    // sectors.
    {"plusieurs_disques",
     "truncate -s 64M images/a.img; mbr images/a.img\n"
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "truncate -s 16M images/c.img\n"
     "truncate -s 64M images/d.img\n"
     "printf 'o\\nn\\np\\n1\\n256\\n+2047\\nn\\ne\\n2\\n2304\\n+7999\\nn\\nl\\n2560\\n+511\\n"
     "n\\nl\\n3328\\n+511\\nw\\n' | fdisk -b 4096 images/d.img >/dev/null 2>&1\n"
     "le32 0x44332211 | poser images/d.img 440\n",
     "block /dev/sda 8:0 images/a.img\nblock /dev/sdb 8:16 images/b.img\n"
     "block /dev/sdc 8:32 images/c.img\nblock /dev/sdd 8:48 images/d.img ssz=4096\n",
     {"-noterm"}, ""},
    // Names and locks: sda1 mounted, sda2 busy, sda3 read-only; the extended
    // partition carries its logicals' names.
    {"noms_et_verrous",
     "truncate -s 64M images/a.img\n"
     "sfdisk -q images/a.img >/dev/null <<EOF\nlabel: dos\nlabel-id: 0x01020304\n"
     "start=2048, size=8192, type=83\nstart=10240, size=8192, type=7\n"
     "start=18432, size=8192, type=c\nstart=26624, size=40960, type=5\n"
     "start=28672, size=4096, type=83\nstart=34816, size=4096, type=83\nEOF\n"
     "mkdir -p proc; echo '/dev/sda1 /boot ext4 rw 0 0' > proc/mounts\n",
     "block /dev/sda 8:0 images/a.img\n"
     "block /dev/sda1 8:1 images/a.img offset=1M size=4M\n"
     "block /dev/sda2 8:2 images/a.img offset=5M size=4M busy\n"
     "block /dev/sda3 8:3 images/a.img offset=9M size=4M ro\n"
     "block /dev/sda4 8:4 images/a.img offset=13M size=1K\n"
     "block /dev/sda5 8:5 images/a.img offset=14M size=2M\n"
     "block /dev/sda6 8:6 images/a.img offset=17M size=2M\n",
     {"-noterm"}, ""},
    // The same under -p: a pause after each block and at once after a
    // refusal; on terminals the final pause follows the last one.
    {"pauses_p",
     "truncate -s 64M images/a.img\n"
     "sfdisk -q images/a.img >/dev/null <<EOF\nlabel: dos\nlabel-id: 0x01020304\n"
     "start=2048, size=8192, type=83\nstart=10240, size=8192, type=7\nEOF\n",
     "tty yes\nblock /dev/sda 8:0 images/a.img\n"
     "block /dev/sda1 8:1 images/a.img offset=1M size=4M busy\n"
     "block /dev/sda2 8:2 images/a.img offset=5M size=4M\n",
     {"-p", "-noterm"}, "\n\n\n\n\n\n\n"},
    // Under -p, an extended partition that carries its 12 (then 13)
    // logicals' names: 13 names pause after the second name and after the
    // unlock pass, 14 names after the second and the fourteenth. Partitions
    // past 15 are plain files (the kernel gives them another major).
    {"pauses_p_13_et_14_noms",
     "for d in a b; do\n"
     "  truncate -s 64M images/$d.img\n"
     "  n=12 base=0; [ $d = b ] && n=13 base=16\n"
     "  mkdir -p dev\n"
     "  { printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=120000, type=5\\n'\n"
     "    for i in $(seq 0 $(( n - 1 ))); do echo \"start=$(( 4096 + i * 3072 )), size=1024\"; done\n"
     "  } | sfdisk -q images/$d.img\n"
     "  for i in $(seq 1 $(( n + 4 ))); do\n"
     "    [ $i -le 4 ] && [ $i -ne 1 ] && continue\n"
     "    if [ $i -gt 15 ]; then : > dev/sd$d$i; continue; fi\n"
     "    echo \"block /dev/sd$d$i 8:$(( base + i )) images/$d.img size=1K\" >> noeuds\n"
     "  done\n"
     "done\n"
     "cat noeuds >> machine\n",
     "%SDA%%SDB%", {"-p", "-noterm"}, "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n"},
    {"disque_absent", "truncate -s 1M images/a.img images/b.img\n", "%SDA%%SDB%", {"5"}, ""},
    {"table_vide", "truncate -s 16M images/a.img\n", "%SDA%", {"-noterm"}, ""},
    {"table_vide_tds", "truncate -s 16M images/a.img\n", "%SDA%", {"-tds", "-noterm"}, ""},
    // Coherence: 1 is sectors 63 to 1000, 2 sectors 900 to 2000.
    {"chevauchement_primaires",
     "truncate -s 16M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=2048\\nstart=8192, size=2048\\n' | "
     "sfdisk -q images/a.img\nlba images/a.img 0 1 63 938; lba images/a.img 0 2 900 1101\n",
     "%SDA%", {"-noterm"}, ""},
    // Logical 5 grown past its extended partition (its EBR is the extended
    // partition's first sector).
    {"logique_hors_etendue",
     "truncate -s 16M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192, type=5\\n"
     "start=4096, size=2048\\n' | sfdisk -q images/a.img\nlba images/a.img 2048 1 2048 8192\n",
     "%SDA%", {"-noterm"}, ""},
    // Logical 5 ends on its extended partition's last sector: no message.
    {"logique_jusqu_a_la_fin_de_l_etendue",
     "truncate -s 16M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192, type=5\\n"
     "start=4096, size=6144\\n' | sfdisk -q images/a.img\n",
     "%SDA%", {"-noterm"}, ""},
    // Main partition 3 moved inside extended partition 2, between logicals
    // 5 and 6; logical 7 grown past the extended partition's end.
    {"principale_dans_etendue",
     "truncate -s 64M images/a.img\n"
     "sfdisk -q images/a.img >/dev/null <<EOF\nlabel: dos\nlabel-id: 0x1\n"
     "start=2048, size=4096\nstart=10240, size=40960, type=5\nstart=60000, size=4096\n"
     "start=12288, size=4096\nstart=30720, size=4096\nstart=40960, size=4096\nEOF\n"
     "lba images/a.img 0 3 20480 4096\n"
     "lba images/a.img $(( 40960 - 2048 )) 1 2048 16384\n",
     "%SDA%", {"-noterm"}, ""},
    // The last partition ends on sector N of a disk of N sectors.
    {"derniere_partition_hors_disque",
     "truncate -s 64M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\nstart=20480, size=8192\\n' | "
     "sfdisk -q images/a.img\nlba images/a.img 0 2 20480 110593\n",
     "%SDA%", {"-noterm"}, ""},
    {"derniere_partition_hors_disque_tds",
     "truncate -s 64M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\nstart=20480, size=8192\\n' | "
     "sfdisk -q images/a.img\nlba images/a.img 0 2 20480 110593\n",
     "%SDA%", {"-tds", "-noterm"}, ""},
    // An extended partition past the disk's end, its logical inside.
    {"etendue_hors_disque",
     "truncate -s 64M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\nstart=20480, size=8192, "
     "type=5\\nstart=22528, size=2048\\n' | sfdisk -q images/a.img\n"
     "lba images/a.img 0 2 20480 110692\n",
     "%SDA%", {"-noterm"}, ""},
    // A disk of 16,000,000 sectors whose partition ends where a size limit
    // of older systems lies.
    {"limite_8_gib",
     "truncate -s 8192000000 images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\n' | sfdisk -q images/a.img\n"
     "lba images/a.img 0 1 2048 $(( 16515072 - 2048 ))\n",
     "%SDA%", {"-noterm"}, ""},
    {"limite_32_gib",
     "truncate -s 8192000000 images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\n' | sfdisk -q images/a.img\n"
     "lba images/a.img 0 1 2048 $(( 66060288 - 2048 ))\n",
     "%SDA%", {"-noterm"}, ""},
    {"limite_128_gib",
     "truncate -s 8192000000 images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=2048, size=8192\\n' | sfdisk -q images/a.img\n"
     "lba images/a.img 0 1 2048 $(( 268435456 - 2048 ))\n",
     "%SDA%", {"-noterm"}, ""},
    // Options that change the disk block or the output.
    {"geometrie_hs_c", "truncate -s 64M images/a.img; mbr images/a.img\n", "%SDA%",
     {"-hs", "16/32", "-c", "100", "-noterm"}, ""},
    {"geometrie_de_la_table", "truncate -s 64M images/a.img; mbr images/a.img\n", "%SDA%",
     {"-hs", "parttable", "-c", "+2", "-noterm"}, ""},
    {"acces_standard_s", "truncate -s 64M images/a.img; mbr images/a.img\n", "%SDA%",
     {"-s", "-noterm"}, ""},
    {"vidage_d",
     "truncate -s 1M images/a.img\n"
     "printf 'label: dos\\nlabel-id: 0x1\\nstart=63, size=1000\\n' | sfdisk -q images/a.img\n",
     "%SDA%", {"-d", "-noterm"}, ""},
    // GPT verdicts.
    {"gpt_sain", "truncate -s 32M images/b.img; gpt images/b.img\n", "%SDB%", {"-noterm"}, ""},
    // Partition 1 moved to sector 33, below the first usable sector 34;
    // partition 2 ends past the last usable sector 65502.
    {"gpt_partitions_hors_zone_utilisable",
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "entreeGPT images/b.img 65535 1 33 18431; entreeGPT images/b.img 65535 2 18432 65503\n",
     "%SDB%", {"-noterm"}, ""},
    // The file one sector longer than the GPT: the backup header is not last.
    {"gpt_secours_avant_fin",
     "truncate -s 32M images/b.img; gpt images/b.img; truncate -s +512 images/b.img\n",
     "%SDB%", {"-noterm"}, ""},
    // With -tds the disk is brought down to the GPT's size: no warning.
    {"gpt_secours_avant_fin_tds_disque_rabaisse",
     "truncate -s 32M images/b.img; gpt images/b.img; truncate -s +512 images/b.img\n",
     "%SDB%", {"-tds", "-noterm"}, ""},
    // The device one sector shorter than the GPT: the backup header is past it.
    {"gpt_secours_apres_fin", "truncate -s 32M images/b.img; gpt images/b.img\n",
     "block /dev/sdb 8:16 images/b.img size=33553920\n", {"-noterm"}, ""},
    {"gpt_secours_apres_fin_tds", "truncate -s 32M images/b.img; gpt images/b.img\n",
     "block /dev/sdb 8:16 images/b.img size=33553920\n", {"-tds", "-noterm"}, ""},
    // One byte of the primary's disk GUID changed, its CRC not made again.
    {"gpt_guid_disque_modifie",
     "truncate -s 32M images/b.img; gpt images/b.img; octet images/b.img $(( 512 + 60 )) 0\n",
     "%SDB%", {"-noterm"}, ""},
    {"gpt_taille_entete_600",
     "truncate -s 32M images/b.img; gpt images/b.img; le32 600 | poser images/b.img $(( 512 + 12 ))\n",
     "%SDB%", {"-noterm"}, ""},
    // The backup header says 127 entries, with a CRC of its own.
    {"gpt_secours_nombre_entrees",
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "le32 127 | poser images/b.img $(( 65535 * 512 + 80 )); crcEntete images/b.img 65535\n",
     "%SDB%", {"-noterm"}, ""},
    // One byte of an unused entry changed in the backup array only, then in
    // both arrays.
    {"gpt_tableaux_differents",
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "octet images/b.img $(( (65535 - 32) * 512 + 100 * 128 + 40 )) 1\n",
     "%SDB%", {"-noterm"}, ""},
    {"gpt_crc_tableau_faux",
     "truncate -s 32M images/b.img; gpt images/b.img\n"
     "octet images/b.img $(( (65535 - 32) * 512 + 100 * 128 + 40 )) 1\n"
     "octet images/b.img $(( 2 * 512 + 100 * 128 + 40 )) 1\n",
     "%SDB%", {"-noterm"}, ""},
    // A hybrid MBR (sgdisk): the protective entry first, partition 1 again
    // in entry 2. The MBR is the table; the GPT behind it is still checked.
    {"gpt_mbr_hybride",
     "truncate -s 32M images/b.img; gpt images/b.img; sgdisk -h 1 images/b.img >/dev/null 2>&1\n",
     "%SDB%", {"-noterm"}, ""},
};

std::string remplacer(std::string texte, const std::string& motif, const std::string& par) {
  for (size_t p = texte.find(motif); p != std::string::npos; p = texte.find(motif, p + par.size()))
    texte.replace(p, motif.size(), par);
  return texte;
}

class JumeauDisques : public testing::TestWithParam<CasDisque> {};

TEST_P(JumeauDisques, SortieAttendue) {
  const CasDisque& c = GetParam();
  MachineTemporaire m;
  m.ecrire("images/preparer.sh", std::string(OUTILS_IMAGES) + c.preparation);
  ASSERT_EQ(m.commande("bash images/preparer.sh"), 0) << c.preparation;
  m.machine(remplacer(remplacer(c.machine, "%SDA%", SDA), "%SDB%", SDB));
  verifierExecution(m, c.nom, c.arguments, c.entree, 0);
}

INSTANTIATE_TEST_SUITE_P(Tablens, JumeauDisques, testing::ValuesIn(casDisques),
                         [](const testing::TestParamInfo<CasDisque>& i) {
                           return std::string(i.param.nom);
                         });

TEST(JumeauRelance, SansTerminalAvecAffichage) {
  struct Cas {
    std::vector<std::string> arguments;
    const char* journal;  // after "xterm -e <twin>"
  } cas[] = {
      {{}, " -noterm\n"},
      {{"-p", "3"}, " -p 3 -noterm\n"},
      {{"-hs", "x"}, " -hs x -noterm\n"},  // the relaunch comes before any usage error
  };
  for (const Cas& c : cas) {
    MachineTemporaire m;
    m.machine(SANS_TERMINAL);
    Execution e = executerJumeau(m, c.arguments, "", ":0");
    EXPECT_EQ(e.statut, 0) << c.journal;
    EXPECT_EQ(e.sortie, "") << c.journal;
    EXPECT_EQ(m.lire("exec.log"), std::string("xterm -e " LENS_JUMEAU_TABLENS) + c.journal);
    EXPECT_EQ(m.lire("syslog.log"), "");
  }
}

TEST(JumeauRelance, PasDeRelance) {
  struct Cas {
    const char* machine;
    std::vector<std::string> arguments;
  } cas[] = {
      {CONSOLE, {}},              // started from a terminal
      {SANS_TERMINAL, {"-noterm"}},
      {SANS_TERMINAL, {"/noterm", "-p"}},
  };
  for (const Cas& c : cas) {
    MachineTemporaire m;
    m.machine(c.machine);
    Execution e = executerJumeau(m, c.arguments, "", ":0");
    EXPECT_EQ(e.statut, 0);
    EXPECT_EQ(e.sortie.substr(0, 14), "TabLens V1.18 ");
    EXPECT_EQ(m.lire("exec.log"), "");
  }
}

TEST(JumeauRelance, EchecsAuJournalEtSurLErreurStandard) {
  struct Cas {
    const char* panne;
    const char* message;
  } cas[] = {
      {"fail exec xterm ENOENT\n", "Unable to launch terminal:\nNo such file or directory\n"},
      {"fail fork * EAGAIN\n",
       "Unable to create process to launch terminal:\nResource temporarily unavailable\n"},
  };
  for (const Cas& c : cas) {
    MachineTemporaire m;
    m.machine(std::string(SANS_TERMINAL) + c.panne);
    Execution e = executerJumeau(m, {"-p"}, "", ":0");
    EXPECT_EQ(e.statut, 1) << c.panne;
    EXPECT_EQ(e.sortie, "") << c.panne;
    EXPECT_EQ(e.erreur, c.message);
    EXPECT_EQ(m.lire("syslog.log"), std::string("<67>") + c.message);
  }
}

}  // namespace
#endif
