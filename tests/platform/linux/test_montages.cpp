// Mount tables, canonical paths and the floppy descriptors, on a real
// temporary tree with the mount table files redirected through the seam.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/string_array.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/format_disquette.h"
#include "platform/linux/montages.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

// Mount table names the code asks for, and the files that answer them.
std::map<std::string, std::string> tablesRedirigees;
std::vector<std::string> tablesDemandees;

FILE* ouvrirRedirige(const char* fichier, const char* mode) {
  tablesDemandees.push_back(fichier);
  auto t = tablesRedirigees.find(fichier);
  return t == tablesRedirigees.end() ? nullptr : setmntent(t->second.c_str(), mode);
}

std::string texte(char* t) {
  std::string s = t ? t : "(null)";
  free(t);
  return s;
}

std::vector<std::string> contenu(const StringArray& liste) {
  std::vector<std::string> v;
  for (size_t i = 0; i < liste.count(); ++i) v.push_back(liste[i] ? liste[i] : "(null)");
  return v;
}

// A temporary folder D with D/reel, D/lien -> reel and D/reel/fichier.
class Montages : public testing::Test {
 protected:
  void SetUp() override {
    std::string nom = cheminTemporaire("montages");
    ASSERT_EQ(mkdir(nom.c_str(), 0700), 0);
    char* absolu = realpath(nom.c_str(), nullptr);
    racine_ = absolu;
    free(absolu);
    ASSERT_EQ(mkdir((racine_ + "/reel").c_str(), 0700), 0);
    ASSERT_EQ(symlink("reel", (racine_ + "/lien").c_str()), 0);
    std::ofstream((racine_ + "/reel/fichier").c_str()) << "x";
    tablesRedirigees.clear();
    tablesDemandees.clear();
    appelsSysteme.setmntent = ouvrirRedirige;
  }
  void TearDown() override {
    std::string commande = "rm -rf '" + racine_ + "'";
    ASSERT_EQ(system(commande.c_str()), 0);
  }
  // The mount table answers "/etc/mtab" with these lines.
  void table(const std::string& lignes, const char* nom = "/etc/mtab") {
    std::string fichier = racine_ + "/table" + std::to_string(tablesRedirigees.size());
    std::ofstream(fichier.c_str()) << lignes;
    tablesRedirigees[nom] = fichier;
  }
  std::string racine_;
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(Montages, CheminCanonique) {
  const std::string D = racine_;
  struct {
    std::string chemin, attendu;
  } cas[] = {
      {D + "/lien", D + "/reel"},
      {D + "/lien/fichier", D + "/reel/fichier"},
      {D + "/lien//absent", D + "/reel/absent"},        // only the parent is resolved
      {D + "/lien/absent/", D + "/reel/absent/"},       // its trailing '/' comes back
      {D + "/absent/plus/loin", D + "/absent/plus/loin"},  // parent missing: unchanged
      {"/", "/"},
      {"sans-barre-absent", "sans-barre-absent"},
      {"/absent-a-la-racine", "/absent-a-la-racine"},
      {"", ""},
  };
  for (auto& c : cas) EXPECT_EQ(texte(cheminCanonique(c.chemin.c_str())), c.attendu) << c.chemin;
  EXPECT_EQ(cheminCanonique(nullptr), nullptr);
}

TEST_F(Montages, CorrespondanceSurFrontiereDeComposant) {
  struct {
    const char* chemin;
    const char* candidat;
    const char* meilleur;
    bool attendu;
  } cas[] = {
      {"/homework", "/home", nullptr, false},
      {"/home/user", "/home", nullptr, true},
      {"/home", "/home", nullptr, true},
      {"/home/user", "/", nullptr, true},
      {"/home/user", "/home", "/home", false},  // not longer than the best
      {"/home/user", "/home", "/home/u", false},
      {"/home/user", "/home/user", "/home", true},
      {"/home", "/home/user", nullptr, false},
      {"/home", "", nullptr, false},
      {nullptr, "/", nullptr, false},
      {"/home", nullptr, nullptr, false},
  };
  for (auto& c : cas) {
    char* meilleur = c.meilleur ? strdup(c.meilleur) : nullptr;
    EXPECT_EQ(correspondanceChemin(c.chemin, c.candidat, &meilleur), c.attendu)
        << (c.chemin ? c.chemin : "null") << " / " << (c.candidat ? c.candidat : "null");
    const char* apres = c.attendu ? c.candidat : c.meilleur;
    EXPECT_STREQ(meilleur, apres);
    free(meilleur);
  }
}

TEST_F(Montages, OrdreDesTablesDeMontage) {
  StringArray liste;
  listerPointsMontage(liste);
  EXPECT_EQ(tablesDemandees, (std::vector<std::string>{"/etc/mtab", "/var/run/mtab", "/proc/mounts"}));
  EXPECT_EQ(liste.count(), 0u);  // no table: not even "/"

  table("/dev/b / ext4 rw 0 0\n", "/proc/mounts");
  table("/dev/a / ext4 rw 0 0\n", "/var/run/mtab");
  tablesDemandees.clear();
  listerPeripheriquesMontes(liste);
  EXPECT_EQ(tablesDemandees, (std::vector<std::string>{"/etc/mtab", "/var/run/mtab"}));
  EXPECT_EQ(contenu(liste), (std::vector<std::string>{"/dev/a"}));
}

TEST_F(Montages, PeripheriquesMontes) {
  const std::string D = racine_;
  table(D + "/lien/ / ext4 rw 0 0\n" +  // a link with a trailing '/'
        "proc /proc proc rw 0 0\n" +
        D + "/swap none swap sw 0 0\n" +
        D + "/ignore /x ignore rw 0 0\n" +
        D + "/nfs /mnt nfs rw 0 0\n" +
        D + "/relatif relatif ext4 rw 0 0\n" +
        "/ /racine bind rw 0 0\n" +
        D + "/reel /double ext4 rw 0 0\n");
  StringArray liste;
  liste.add("ancien");
  listerPeripheriquesMontes(liste);
  EXPECT_EQ(contenu(liste), (std::vector<std::string>{D + "/reel", "/", D + "/reel"}));
}

TEST_F(Montages, PointsDeMontage) {
  const std::string D = racine_;
  table("proc /proc proc rw 0 0\n"
        "tmpfs " + D + "/tmp tmpfs rw 0 0\n" +
        D + "/sda1 " + D + "/lien/ ext4 rw 0 0\n" +
        "serveur:/export " + D + "/nfs nfs rw 0 0\n" +
        "LABEL=donnees " + D + "/donnees ext4 rw 0 0\n" +
        D + "/sda2 none swap sw 0 0\n" +
        D + "/sda3 " + D + "/ignore ignore rw 0 0\n" +
        D + "/sda4 relatif ext4 rw 0 0\n" +
        D + "/sda5 " + D + "/reel ext4 rw 0 0\n");
  StringArray liste;
  listerPointsMontage(liste);
  EXPECT_EQ(contenu(liste), (std::vector<std::string>{"/", D + "/reel", D + "/nfs", D + "/donnees"}));

  table(D + "/sda1 / ext4 rw 0 0\n" + D + "/sda5 " + D + "/reel ext4 rw 0 0\n");
  listerPointsMontage(liste);
  EXPECT_EQ(contenu(liste), (std::vector<std::string>{"/", D + "/reel"}));
}

TEST_F(Montages, PeripheriqueDuPointDeMontage) {
  const std::string D = racine_;
  table(D + "/racine / ext4 rw 0 0\n" +
        D + "/lien " + D + "/reel ext4 rw 0 0\n" +
        D + "/autre " + D + "/reel ext4 rw 0 0\n" +  // same length: the first stays
        "serveur:/export " + D + "/reel/nfs nfs rw 0 0\n" +
        "tmpfs " + D + "/reel/tmp tmpfs rw 0 0\n" +
        D + "/swap " + D + "/reel/swap swap sw 0 0\n");
  struct {
    std::string chemin, attendu;
  } cas[] = {
      {D + "/lien/fichier", D + "/reel"},
      {D + "/reelle", D + "/racine"},
      {D + "/reel/nfs/x", "(null)"},
      {D + "/reel/tmp", "(null)"},
      {D + "/reel/swap/x", D + "/reel"},
  };
  for (auto& c : cas) EXPECT_EQ(texte(pointMontage(c.chemin.c_str())), c.attendu) << c.chemin;
  EXPECT_EQ(pointMontage(nullptr), nullptr);
}

TEST(FormatDisquette, Descripteurs) {
  const struct {
    uint64_t secteurs;
    int32_t attendu;
  } cas[] = {{320, -2},   {360, -4},   {640, -1},  {720, -3},  {1440, -7},
             {2400, -7},  {2880, -16}, {5760, -16}, {0, 99},   {2881, 99},
             {0x100000000ULL + 320, 99}};
  for (auto& c : cas) EXPECT_EQ(codeFormatDisquette(c.secteurs, 99), c.attendu) << c.secteurs;
}

}  // namespace
