// tablens' command line: the options read from accepted command lines, and the
// usage errors that the golden runs of the twin (test_tablens_jumeau.cpp) do
// not show, each in a child process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/texte.h"
#include "programs/commun/frontal.h"
#include "programs/tablens/tablens.h"
#include "support/enfant.h"
#include "support/flux_rediriges.h"

namespace {

struct Ligne {
  std::vector<const char*> arguments;  // after the program path
  int argc() const { return static_cast<int>(arguments.size()) + 1; }
  std::vector<const char*> argv() const {
    std::vector<const char*> v{"tablens"};
    v.insert(v.end(), arguments.begin(), arguments.end());
    v.push_back(nullptr);
    return v;
  }
  std::string texte() const {
    std::string t;
    for (const char* a : arguments) t += std::string(t.empty() ? "" : " ") + a;
    return t;
  }
};

void lire(const Ligne& l, T_LigneCommandeTablens* resultat) {
  std::vector<const char*> v = l.argv();
  lireLigneCommandeTablens(l.argc(), const_cast<char* const*>(v.data()), resultat);
}

TEST(LigneCommandeTablens, OptionsAcceptees) {
  struct Cas {
    Ligne ligne;
    T_LigneCommandeTablens attendu;  // d s tds hs heads sectors c cylinders disk? disk
    bool pause;
  } cas[] = {
      {{{}}, {false, false, false, 0, 0, 0, 0, 0, false, 0}, false},
      {{{"3"}}, {false, false, false, 0, 0, 0, 0, 0, true, 3}, false},
      {{{"127", "-noterm"}}, {false, false, false, 0, 0, 0, 0, 0, true, 127}, false},
      {{{"0"}}, {false, false, false, 0, 0, 0, 0, 0, true, 0}, false},
      {{{"-d", "-s", "-tds", "-p"}}, {true, true, true, 0, 0, 0, 0, 0, false, 0}, true},
      {{{"/d", "/s", "/tds", "/p", "/noterm"}}, {true, true, true, 0, 0, 0, 0, 0, false, 0}, true},
      {{{"-hs", "255/63"}},
       {false, false, false, GEOMETRIE_NOMBRES, 255, 63, 0, 0, false, 0}, false},
      {{{"-hs", "256/1", "-c", "1024"}},
       {false, false, false, GEOMETRIE_NOMBRES, 256, 1, CYLINDRES_NOMBRE, 1024, false, 0}, false},
      {{{"-hs", "parttable", "-c", "parttable"}},
       {false, false, false, GEOMETRIE_TABLE, 0, 0, CYLINDRES_TABLE, 0, false, 0}, false},
      {{{"-c", "+1", "2"}}, {false, false, false, 0, 0, 0, CYLINDRES_AJOUT, 1, true, 2}, false},
      {{{"-c", "007"}}, {false, false, false, 0, 0, 0, CYLINDRES_NOMBRE, 7, false, 0}, false},
      // The value is the next argument whatever it looks like.
      {{{"-hs", "1/1", "-c", "+24", "-noterm", "-noterm"}},
       {false, false, false, GEOMETRIE_NOMBRES, 1, 1, CYLINDRES_AJOUT, 24, false, 0}, false},
  };
  for (const Cas& c : cas) {
    vidageSecteurs = false;
    pauseDemandee = false;
    T_LigneCommandeTablens r;
    lire(c.ligne, &r);
    const T_LigneCommandeTablens& a = c.attendu;
    std::string quoi = c.ligne.texte();
    EXPECT_EQ(r.vidage, a.vidage) << quoi;
    EXPECT_EQ(vidageSecteurs, a.vidage) << quoi;
    EXPECT_EQ(r.accesStandard, a.accesStandard) << quoi;
    EXPECT_EQ(r.etendreTaille, a.etendreTaille) << quoi;
    EXPECT_EQ(r.modeHs, a.modeHs) << quoi;
    EXPECT_EQ(r.tetesHs, a.tetesHs) << quoi;
    EXPECT_EQ(r.secteursHs, a.secteursHs) << quoi;
    EXPECT_EQ(r.modeC, a.modeC) << quoi;
    EXPECT_EQ(r.cylindresC, a.cylindresC) << quoi;
    EXPECT_EQ(r.disqueDonne, a.disqueDonne) << quoi;
    EXPECT_EQ(r.disque, a.disque) << quoi;
    EXPECT_EQ(pauseDemandee, c.pause) << quoi;
  }
  vidageSecteurs = false;
  pauseDemandee = false;
}

TEST(LigneCommandeTablens, ErreursDUsage) {
  struct Cas {
    Ligne ligne;
    const char* message;  // null: the usage text alone
  } cas[] = {
      {{{"-dx"}}, "Bad disk number."},
      {{{"-hs2"}}, "Bad disk number."},
      {{{"-tdsx"}}, "Bad disk number."},
      {{{"+3"}}, "Bad disk number."},
      {{{"3x"}}, "Bad disk number."},
      {{{""}}, "Bad disk number."},
      {{{"99999999999999999999999"}}, "Bad disk number."},
      {{{"-s", "/s"}}, "-s argument given twice."},
      {{{"-p", "3", "-p"}}, "-p argument given twice."},
      {{{"-hs", "parttable", "-hs", "1/1"}}, "-hs option given twice."},
      {{{"-c", "1", "-c"}}, "-c option given twice."},
      {{{"-hs", "/16"}},
       "-hs option not followed with \"parttable\" or \"heads number/sectors number\"."},
      {{{"-hs", "1x/1"}}, "Bad heads number (shall be between 1 and 256)."},
      {{{"-hs", "255/0"}}, "Bad sectors number (shall be between 1 and 63)."},
      {{{"-hs", "255/"}}, "Bad sectors number (shall be between 1 and 63)."},
      {{{"-hs", "1/2/3"}}, "Bad sectors number (shall be between 1 and 63)."},
      {{{"-c", "-1"}}, "-c option not followed with \"parttable\" or \"[+]cylinders number\"."},
      {{{"-c", "+"}}, "Bad cylinders number (shall be between 1 and 1024)."},
      {{{"-c", "++1"}}, "Bad cylinders number (shall be between 1 and 1024)."},
      {{{"-d", "-s", "3", "/?"}}, nullptr},
      {{{"-h", "128"}}, nullptr},
  };
  for (const Cas& c : cas) {
    ResultatEnfant r = executerEnfant([&c] {
      definirProgramme(NOM_VERSION_TABLENS, USAGE_TABLENS);
      T_LigneCommandeTablens ligne;
      lire(c.ligne, &ligne);
      printf("no usage error");
    });
    std::string attendu = c.message ? std::string(c.message) + "\n" : "";
    EXPECT_EQ(r.statut, 1) << c.ligne.texte();
    EXPECT_EQ(r.sortie, attendu + USAGE_TABLENS) << c.ligne.texte();
  }
}

}  // namespace
