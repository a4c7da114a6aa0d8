// Whole runs of platlens' simulation twin: every disk or the one numbered,
// disks refusing a question, sector sizes from 0 to 32768, a 3 TiB disk,
// every usage error; standard output against
// tests/programs/attendu/platlens/<case>.txt.
#ifdef LENS_JUMEAU_PLATLENS
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "programs/jumeau.h"

namespace {

struct CasPlatlens {
  const char* nom;      // golden file
  std::string machine;  // directives
  std::vector<std::string> arguments;
  const char* entree;
  int statut;
};

void PrintTo(const CasPlatlens& c, std::ostream* flux) { *flux << c.nom; }

// /dev/sdb on the whole small image, with these options. The enumeration
// asks HDIO_GETGEO once: a failure meant for platlens comes after=1.
std::string sdb(const std::string& options) {
  return "block /dev/sdb 8:16 images/disque.img " + options + "\n";
}

const std::string DEUX_DISQUES = std::string(NOEUDS_DISQUE) + sdb("");

const CasPlatlens casPlatlens[] = {
    {"aucun_disque", "", {}, "", 0},
    {"aucun_disque_pause_finale_malgre_p", "tty yes\n", {"-p", "-noterm"}, "\n", 0},
    {"deux_disques", DEUX_DISQUES, {"-noterm"}, "", 0},
    {"deux_disques_pause_apres_chacun", "tty yes\n" + DEUX_DISQUES, {"/p", "-noterm"}, "\n\n",
     0},
    {"noterm_console_pause_finale", "tty yes\n" + DEUX_DISQUES, {"/noterm"}, "\n", 0},
    {"disque_0_avec_pause", DEUX_DISQUES, {"-p", "0"}, "\n", 0},
    {"disque_7_sur_deux", DEUX_DISQUES, {"-noterm", "7"}, "", 0},
    {"ouverture_refusee", sdb("ro"), {"-noterm"}, "", 0},
    {"verrou_refuse", sdb("") + "fail fcntl /dev/sdb EAGAIN\n", {"-noterm"}, "", 0},
    {"taille_secteur_refusee", sdb("ssz=none"), {"-noterm"}, "", 0},
    {"taille_64_bits_refusee", sdb("") + "fail BLKGETSIZE64 /dev/sdb EIO\n", {"-noterm"}, "", 0},
    {"taille_32_bits_secteurs_de_4096",
     sdb("ssz=4096") + "fail BLKGETSIZE64 /dev/sdb EIO\n", {"-noterm"}, "", 0},
    {"tailles_64_et_32_bits_refusees",
     sdb("") + "fail BLKGETSIZE64 /dev/sdb EIO\nfail BLKGETSIZE /dev/sdb EINVAL\n", {"-noterm"},
     "", 0},
    {"geometrie_refusee", sdb("") + "fail HDIO_GETGEO /dev/sdb EIO after=1\n", {"-noterm"}, "",
     0},
    {"toutes_les_questions_refusees",
     sdb("ssz=none") + "fail BLKGETSIZE64 /dev/sdb EIO\nfail BLKGETSIZE /dev/sdb EIO\n"
                       "fail HDIO_GETGEO /dev/sdb EIO after=1\n",
     {"-noterm"}, "", 0},
    {"secteurs_de_0_octet", sdb("ssz=0"), {"-noterm"}, "", 0},
    {"secteurs_de_520_octets", sdb("ssz=520"), {"-noterm"}, "", 0},
    {"secteurs_de_2048_octets", sdb("ssz=2048"), {"-noterm"}, "", 0},
    {"secteurs_de_4096_octets", sdb("ssz=4096"), {"-noterm"}, "", 0},
    {"secteurs_de_33280_octets", sdb("ssz=33280"), {"-noterm"}, "", 0},
    {"taille_non_multiple_du_secteur", sdb("ssz=4096 size=1049088"), {"-noterm"}, "", 0},
    {"disque_de_3_to", "block /dev/sdb 8:16 images/grand.img\n", {"-noterm"}, "", 0},
    {"disque_de_3_to_secteurs_de_4096", "block /dev/sdb 8:16 images/grand.img ssz=4096\n",
     {"-noterm"}, "", 0},
    {"taille_32_bits_de_2_tio_moins_un_secteur",
     "block /dev/sdb 8:16 images/grand.img size=2199023255040\n"
     "fail BLKGETSIZE64 /dev/sdb ENOTTY\n",
     {"-noterm"}, "", 0},
    // Usage errors, after the banner.
    {"aide", "", {"-h"}, "", 1},
    {"aide_oblique_apres_numero", "", {"-p", "1", "/?"}, "", 1},
    {"erreur_avant_aide", "", {"128", "-h"}, "", 1},
    {"numero_128", "", {"128"}, "", 1},
    {"numero_x", "", {"x"}, "", 1},
    {"option_inconnue", "", {"-x"}, "", 1},
    {"numero_signe", "", {"+1"}, "", 1},
    {"deux_numeros", "", {"1", "2"}, "", 1},
    {"numero_puis_texte", "", {"1", "x"}, "", 1},
    {"p_deux_fois", "", {"-p", "/p"}, "", 1},
};

class JumeauPlatlens : public testing::TestWithParam<CasPlatlens> {};

TEST_P(JumeauPlatlens, SortieAttendue) {
  const CasPlatlens& c = GetParam();
  MachineTemporaire m;
  ASSERT_TRUE(preparerImages(m));
  m.machine(c.machine);
  Execution e = executerJumeau(LENS_JUMEAU_PLATLENS, m, c.arguments, c.entree, nullptr);
  EXPECT_EQ(e.statut, c.statut);
  EXPECT_EQ(e.sortie, attenduPour("platlens", c.nom, e.sortie));
  EXPECT_EQ(e.erreur, "");
  EXPECT_EQ(m.lire("exec.log"), "");
}

INSTANTIATE_TEST_SUITE_P(Platlens, JumeauPlatlens, testing::ValuesIn(casPlatlens),
                         [](const testing::TestParamInfo<CasPlatlens>& i) {
                           return std::string(i.param.nom);
                         });

TEST(JumeauPlatlensRelance, SansTerminalAvecAffichage) {
  MachineTemporaire m;
  Execution e = executerJumeau(LENS_JUMEAU_PLATLENS, m, {"x"}, "", ":0");
  EXPECT_EQ(e.statut, 0);
  EXPECT_EQ(e.sortie, "");  // the relaunch comes before the usage error
  EXPECT_EQ(m.lire("exec.log"), "xterm -e " LENS_JUMEAU_PLATLENS " x -noterm\n");
}

}  // namespace
#endif
