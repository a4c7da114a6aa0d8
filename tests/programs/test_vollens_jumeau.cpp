// Whole runs of vollens' simulation twin: declared devices (fstab, blkid
// cache, automounter, FUSE), named devices and nodes, devices refusing a
// question, every usage error; standard output against
// tests/programs/attendu/vollens/<case>.txt. As root, the real program on a
// loop device.
#ifdef LENS_JUMEAU_VOLLENS
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "programs/jumeau.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> Fichiers;

struct CasVollens {
  const char* nom;      // golden file
  std::string machine;  // directives after the disk's nodes
  Fichiers fichiers;    // below the root
  std::vector<std::string> arguments;
  const char* entree;
  int statut;
};

void PrintTo(const CasVollens& c, std::ostream* flux) { *flux << c.nom; }

const char* const CACHE_BLKID =
    "<device DEVNO=\"0x0801\" LABEL=\"racine\" UUID=\"u-1\">/dev/sda1</device>\n"
    "<device DEVNO=\"0x0802\" UUID=\"u-2\">/dev/sda2</device>\n"
    "<device DEVNO=\"0x0810\" UUID=\"u-swap\">/dev/sdb</device>\n";

const char* const FSTAB_DEUX = "/dev/sda1 / ext4 defaults 0 1\n/dev/sdb /b ext4 defaults 0 0\n";

// One more disk, /dev/sdb, on the whole small image, with these options.
std::string sdb(const std::string& options) {
  return "block /dev/sdb 8:16 images/disque.img " + options + "\n";
}

const std::string ARG_SDB = "/dev/sdb";

const CasVollens casVollens[] = {
    // Declared devices.
    {"aucun_peripherique_declare", "", {}, {}, "", 0},
    {"aucun_declare_pause_finale_malgre_p", "tty yes\n", {}, {"-p", "-noterm"}, "\n", 0},
    {"fstab_chemins_label_uuid_echange_ignores", sdb(""),
     {{"etc/fstab",
       "# racine\n"
       "LABEL=racine / ext4 defaults 0 1\n"
       "UUID=u-2 /srv ext4 defaults 0 2\n"
       "UUID=u-swap none swap sw 0 0\n"
       "/dev/sdb /echange swap sw 0 0\n"
       "/dev/sda /ignore ext4 xx 0 0\n"
       "proc /proc proc defaults 0 0\n"
       "UUID=inconnu /z ext4 defaults 0 0\n"
       "/dev/disk/by-label/racine /encore ext4 defaults 0 0\n"},
      {"etc/blkid.tab", CACHE_BLKID}},
     {"-noterm"}, "", 0},
    {"cartes_de_l_automonteur", "link /dev/cdrom sda2\n",
     {{"etc/auto.master", "/misc file:/etc/auto.misc --timeout=60\n/net -hosts\n"},
      {"etc/auto.misc", "cd -fstype=iso9660,ro :/dev/cdrom\ndistant serveur:/export\n"}},
     {"-noterm"}, "", 0},
    {"fuse_toutes_les_partitions", "chr /dev/fuse 10:229\n", {}, {"-noterm"}, "", 0},
    {"partition_montee_et_disque_libre", "",
     {{"etc/fstab", "/dev/sda1 / ext4 defaults 0 1\n/dev/sda2 /srv ext4 defaults 0 2\n"},
      {"proc/mounts", "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n"}},
     {"-noterm"}, "", 0},
    {"disque_dont_une_partition_est_montee", "",
     {{"proc/mounts", "/dev/sda2 /srv ext4 rw 0 0\n"}}, {"-noterm", "/dev/sda"}, "", 0},
    {"pause_apres_chaque_peripherique", "tty yes\n" + sdb(""), {{"etc/fstab", FSTAB_DEUX}},
     {"-noterm", "-p"}, "\n\n", 0},
    {"noterm_console_pause_finale", "tty yes\n" + sdb(""), {{"etc/fstab", FSTAB_DEUX}},
     {"/noterm"}, "\n", 0},
    // One device named, answering part of the questions.
    {"peripherique_occupe", sdb("busy"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"ouverture_refusee", sdb("") + "fail open /dev/sdb EACCES\n", {}, {"-noterm", ARG_SDB}, "", 0},
    {"verrou_refuse", sdb("") + "fail fcntl /dev/sdb EAGAIN\n", {}, {"-noterm", ARG_SDB}, "", 0},
    {"lstat_refuse", sdb("") + "fail lstat /dev/sdb EACCES\n", {}, {"-noterm", ARG_SDB}, "", 0},
    {"taille_secteur_refusee", sdb("ssz=none"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"taille_64_bits_refusee", sdb("") + "fail BLKGETSIZE64 /dev/sdb EIO\n", {},
     {"-noterm", ARG_SDB}, "", 0},
    {"taille_32_bits_secteurs_de_4096", sdb("ssz=4096") + "fail BLKGETSIZE64 /dev/sdb EIO\n",
     {}, {"-noterm", ARG_SDB}, "", 0},
    {"tailles_64_et_32_bits_refusees",
     sdb("") + "fail BLKGETSIZE64 /dev/sdb EIO\nfail BLKGETSIZE /dev/sdb EINVAL\n", {},
     {"-noterm", ARG_SDB}, "", 0},
    {"geometrie_refusee", sdb("geo=none"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"toutes_les_questions_refusees", sdb("") + "fail ioctl /dev/sdb EIO\n", {},
     {"-noterm", ARG_SDB}, "", 0},
    {"debut_a_63", sdb("geo=16/63/130/63"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"secteurs_de_0_octet", sdb("ssz=0"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"secteurs_de_520_octets", sdb("ssz=520"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"secteurs_de_2048_octets", sdb("ssz=2048"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"secteurs_de_4096_octets", sdb("ssz=4096"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"secteurs_de_32768_octets", sdb("ssz=32768"), {}, {"-noterm", ARG_SDB}, "", 0},
    {"taille_non_multiple_du_secteur", sdb("ssz=4096 size=1049088"), {}, {"-noterm", ARG_SDB},
     "", 0},
    {"disque_de_3_to", "block /dev/sdb 8:16 images/grand.img\n", {}, {"-noterm", ARG_SDB}, "",
     0},
    {"disque_de_3_to_secteurs_de_4096", "block /dev/sdb 8:16 images/grand.img ssz=4096\n", {},
     {"-noterm", ARG_SDB}, "", 0},
    // The most that a 32-bit count gives: 2^32 - 1 sectors of 512 bytes.
    {"taille_32_bits_de_2_tio_moins_un_secteur",
     "block /dev/sdb 8:16 images/grand.img size=2199023255040\n"
     "fail BLKGETSIZE64 /dev/sdb ENOTTY\n", {},
     {"-noterm", ARG_SDB}, "", 0},
    // Other nodes: reported, never opened (an open would fail with EIO).
    {"lien_vers_une_partition", "link /dev/disk/by-label/racine ../../sda1\n", {},
     {"-noterm", "/dev/disk/by-label/racine"}, "", 0},
    {"noeud_caractere_jamais_ouvert", "chr /dev/watchdog 10:130\nfail open /dev/watchdog EIO\n",
     {}, {"-noterm", "/dev/watchdog"}, "", 0},
    {"fifo_jamais_ouverte", "fail open /tmp/tube EIO\n", {}, {"-noterm", "/tmp/tube"}, "", 0},
    {"fichier_image_ouvert_et_interroge", "", {},
     {"-noterm", "/images/disque.img"}, "", 0},
    {"chemin_absent", "", {}, {"-noterm", "/dev/absent"}, "", 0},
    {"option_inconnue_prise_pour_chemin", "", {}, {"-noterm", "-x"}, "", 0},
    // Usage errors, after the banner.
    {"aide", "", {}, {"-h"}, "", 1},
    {"aide_oblique_apres_chemin", "", {}, {"-p", "/dev/sda", "/?"}, "", 1},
    {"erreur_avant_aide", "", {}, {"/dev/sda", "/dev/sdb", "-h"}, "", 1},
    {"deux_peripheriques", "", {}, {"/dev/sda", "/dev/sdb"}, "", 1},
    {"p_deux_fois", "", {}, {"-p", "/p"}, "", 1},
};

class JumeauVollens : public testing::TestWithParam<CasVollens> {};

TEST_P(JumeauVollens, SortieAttendue) {
  const CasVollens& c = GetParam();
  MachineTemporaire m;
  ASSERT_TRUE(preparerImages(m));
  ASSERT_EQ(m.commande("mkdir -p tmp && mkfifo tmp/tube"), 0);
  m.machine(std::string(NOEUDS_DISQUE) + c.machine);
  for (const auto& f : c.fichiers) m.ecrire(f.first, f.second);
  Execution e = executerJumeau(LENS_JUMEAU_VOLLENS, m, c.arguments, c.entree, nullptr);
  EXPECT_EQ(e.statut, c.statut);
  EXPECT_EQ(e.sortie, attenduPour("vollens", c.nom, e.sortie));
  EXPECT_EQ(e.erreur, "");
  EXPECT_EQ(m.lire("exec.log"), "");
}

INSTANTIATE_TEST_SUITE_P(Vollens, JumeauVollens, testing::ValuesIn(casVollens),
                         [](const testing::TestParamInfo<CasVollens>& i) {
                           return std::string(i.param.nom);
                         });

#ifdef LENS_PROGRAMME_VOLLENS
// The real program on a loop device of 8 MiB, with 512- and 4096-byte
// sectors; a loop device answers no geometry.
TEST(VollensReel, PeripheriqueLoop) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for losetup";
  for (const char* secteur : {"512", "4096"}) {
    MachineTemporaire m;  // only its folder
    m.image("loop.img", 8 << 20);
    if (m.commande(std::string("losetup -f --show -b ") + secteur + " loop.img > loop.txt") != 0)
      GTEST_SKIP() << "no loop device";
    std::string loop = m.lire("loop.txt");
    loop = loop.substr(0, loop.find('\n'));
    std::string commande = "env -u DISPLAY -u LC_ALL -u LC_CTYPE LANG=C '" LENS_PROGRAMME_VOLLENS
                           "' -noterm " + loop + " < /dev/null";
    std::string sortie;
    FILE* p = popen(commande.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char tampon[4096];
    while (size_t n = fread(tampon, 1, sizeof tampon, p)) sortie.append(tampon, n);
    int brut = pclose(p);
    m.commande("losetup -d " + loop);
    EXPECT_TRUE(WIFEXITED(brut) && WEXITSTATUS(brut) == 0) << brut;
    std::string texte = attendu("vollens", std::string("loop_") + secteur);
    texte.replace(texte.find("/dev/loopN"), 10, loop);
    EXPECT_EQ(sortie, texte) << secteur;
  }
}
#endif

}  // namespace
#endif
