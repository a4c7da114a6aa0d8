// The front end shared by the four programs: option forms, the -noterm
// pre-scan and the -p pause (the banner, the usage exit and the final pause
// are seen in the golden runs of tablens' twin).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/format.h"
#include "programs/commun/frontal.h"
#include "support/enfant.h"

namespace {

TEST(Frontal, FormesDesOptions) {
  struct Cas {
    const char* argument;
    const char* nom;
    bool option, aide;
  } cas[] = {
      {"-p", "p", true, false},       {"/p", "p", true, false},
      {"-px", "p", false, false},     {"p", "p", false, false},
      {"--p", "p", false, false},     {"-P", "p", false, false},
      {"-noterm", "noterm", true, false}, {"/noterm", "noterm", true, false},
      {"-h", "h", true, true},        {"/h", "h", true, true},
      {"-?", "?", true, true},        {"/?", "?", true, true},
      {"-hs", "hs", true, false},     {"-H", "H", true, false},
      {"h", "h", false, false},       {"", "", false, false},
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(estOption(c.argument, c.nom), c.option) << c.argument;
    EXPECT_EQ(estDemandeAide(c.argument), c.aide) << c.argument;
  }
  EXPECT_EQ(nomOption("x"), nullptr);
  EXPECT_STREQ(nomOption("/tds"), "tds");
}

TEST(Frontal, PreExamenDeNoterm) {
  struct Cas {
    std::vector<const char*> arguments;
    bool sansTerminal;
  } cas[] = {
      {{"prog"}, false},
      {{"prog", "-noterm"}, true},
      {{"prog", "-p", "3", "/noterm"}, true},
      {{"-noterm"}, false},  // the program path is not an argument
      {{"prog", "-notermx"}, false},
      {{"prog", "noterm"}, false},
      {{"prog", "-hs", "-noterm"}, true},  // even where it would be a value
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(contientSansTerminal(static_cast<int>(c.arguments.size()),
                                   const_cast<char* const*>(c.arguments.data())),
              c.sansTerminal)
        << c.arguments.back();
  }
}

TEST(Frontal, PauseEcran) {
  struct Cas {
    bool demandee, drapeau;
    const char* entree;
    const char* sortie;  // then what is left of the input
  } cas[] = {
      {false, true, "ab\ncd", "[ab\ncd]"},
      {true, false, "ab\ncd", "[ab\ncd]"},
      {true, true, "ab\ncd", "-- Press Return to continue --[cd]"},
      {true, true, "ab", "-- Press Return to continue --[]"},  // input ends first
      {true, true, "", "-- Press Return to continue --[]"},
  };
  for (const Cas& c : cas) {
    ResultatEnfant r = executerEnfant(
        [&c] {
          pauseDemandee = c.demandee;
          pauseEcran(c.drapeau);
          std::string reste;
          for (int car = getchar(); car != EOF; car = getchar()) reste += static_cast<char>(car);
          afficherMessage("[%s]", reste.c_str());
        },
        c.entree);
    EXPECT_EQ(r.sortie, c.sortie) << c.entree;
  }
}

}  // namespace
