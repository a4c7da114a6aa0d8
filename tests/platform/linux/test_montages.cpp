// Mount tables and canonical paths, on a real temporary tree with the mount
// table files redirected through the seam.
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
#include "platform/linux/format_disquette.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/montages.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

std::map<std::string, std::string> tables;  // name asked -> file that answers
std::vector<std::string> tablesDemandees;

FILE* ouvrirRedirige(const char* fichier, const char* mode) {
  tablesDemandees.push_back(fichier);
  auto t = tables.find(fichier);
  return t == tables.end() ? nullptr : setmntent(t->second.c_str(), mode);
}

std::string texte(char* t) {
  std::string s = t ? t : "(null)";
  free(t);
  return s;
}

std::vector<std::string> contenu(const StringArray& liste) {
  std::vector<std::string> v;
  for (size_t i = 0; i < liste.count(); ++i) v.push_back(liste[i]);
  return v;
}

// D, D/reel and the link D/lien -> reel.
class Montages : public testing::Test {
 protected:
  void SetUp() override {
    std::string nom = cheminTemporaire("montages");
    ASSERT_EQ(mkdir(nom.c_str(), 0700), 0);
    char* absolu = realpath(nom.c_str(), nullptr);
    D = absolu;
    free(absolu);
    ASSERT_EQ(mkdir((D + "/reel").c_str(), 0700), 0);
    ASSERT_EQ(symlink("reel", (D + "/lien").c_str()), 0);
    tables.clear();
    tablesDemandees.clear();
    appelsSysteme.setmntent = ouvrirRedirige;
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf '" + D + "'").c_str()), 0); }
  void table(const std::string& lignes, const char* nom = "/etc/mtab") {
    std::string fichier = D + "/table" + std::to_string(tables.size());
    std::ofstream(fichier.c_str()) << lignes;
    tables[nom] = fichier;
  }
  std::string D;
  Remplacement<T_AppelsSysteme> seam_{appelsSysteme};
};

TEST_F(Montages, CheminCanonique) {
  const std::pair<std::string, std::string> cas[] = {
      {D + "/lien", D + "/reel"},
      {D + "/lien//absent", D + "/reel/absent"},  // only the parent is resolved
      {D + "/lien/absent/", D + "/reel/absent/"},
      {D + "/absent/loin", D + "/absent/loin"},  // parent missing: unchanged
      {"/absent-a-la-racine", "/absent-a-la-racine"},
      {"sans-barre", "sans-barre"},
  };
  for (auto& c : cas) EXPECT_EQ(texte(cheminCanonique(c.first.c_str())), c.second) << c.first;
}

TEST_F(Montages, CorrespondanceSurFrontiereDeComposant) {
  const struct {
    const char *chemin, *candidat, *meilleur;
    bool attendu;
  } cas[] = {
      {"/homework", "/home", nullptr, false}, {"/home/user", "/home", nullptr, true},
      {"/home", "/home", nullptr, true},      {"/home/user", "/", nullptr, true},
      {"/home/user", "/home", "/home", false}, {"/home/user", "/home/user", "/home", true},
      {"/home", "", nullptr, false},
  };
  for (auto& c : cas) {
    char* meilleur = c.meilleur ? strdup(c.meilleur) : nullptr;
    EXPECT_EQ(correspondanceChemin(c.chemin, c.candidat, &meilleur), c.attendu) << c.chemin << " " << c.candidat;
    EXPECT_STREQ(meilleur, c.attendu ? c.candidat : c.meilleur);
    free(meilleur);
  }
}

TEST_F(Montages, PeripheriquesEtPointsDeMontage) {
  StringArray liste;
  listerPointsMontage(liste);
  EXPECT_EQ(tablesDemandees, (std::vector<std::string>{"/etc/mtab", "/var/run/mtab", "/proc/mounts"}));
  EXPECT_EQ(liste.count(), 0u);  // no table: not even "/"

  table("/dev/b / ext4 rw 0 0\n", "/proc/mounts");
  table(D + "/lien/ " + D + "/lien/ ext4 rw 0 0\n" +  // a link with a trailing '/'
            "proc /proc proc rw 0 0\n" +
            "tmpfs " + D + "/tmp tmpfs rw 0 0\n" +
            D + "/swap none swap sw 0 0\n" +
            D + "/i " + D + "/i ignore rw 0 0\n" +
            "serveur:/export " + D + "/nfs nfs rw 0 0\n" +
            "LABEL=x " + D + "/x ext4 rw 0 0\n" +
            D + "/relatif relatif ext4 rw 0 0\n" +
            "/ /racine bind rw 0 0\n" +
            D + "/reel " + D + "/reel ext4 rw 0 0\n",
        "/var/run/mtab");
  listerPeripheriquesMontes(liste);
  EXPECT_EQ(contenu(liste), (std::vector<std::string>{D + "/reel", "/", D + "/reel"}));
  listerPointsMontage(liste);
  EXPECT_EQ(contenu(liste),
            (std::vector<std::string>{"/", D + "/reel", D + "/nfs", D + "/x", "/racine"}));
}

TEST_F(Montages, PeripheriqueDuPointDeMontage) {
  table(D + "/racine / ext4 rw 0 0\n" +
        D + "/lien " + D + "/reel ext4 rw 0 0\n" +
        D + "/autre " + D + "/reel ext4 rw 0 0\n" +  // same length: the first stays
        "serveur:/export " + D + "/reel/nfs nfs rw 0 0\n" +
        "tmpfs " + D + "/reel/tmp tmpfs rw 0 0\n" +
        D + "/swap " + D + "/reel/swap swap sw 0 0\n");
  const std::pair<std::string, std::string> cas[] = {
      {D + "/lien/fichier", D + "/reel"}, {D + "/reelle", D + "/racine"},
      {D + "/reel/nfs/x", "(null)"},      {D + "/reel/tmp", "(null)"},
      {D + "/reel/swap/x", D + "/reel"},
  };
  for (auto& c : cas) EXPECT_EQ(texte(pointMontage(c.first.c_str())), c.second) << c.first;
}

TEST(FormatDisquette, OctetDeSupportSigneEtendu) {
  const std::pair<uint64_t, int32_t> cas[] = {
      {320, -2}, {360, -4}, {640, -1}, {720, -3}, {1440, -7}, {2400, -7},
      {2880, -16}, {5760, -16}, {1441, 0x1234}, {0, 0x1234}, {0x100000000ULL + 320, 0x1234},
  };
  for (auto& c : cas) EXPECT_EQ(codeFormatDisquette(c.first, 0x1234), c.second) << c.first;
}

}  // namespace
