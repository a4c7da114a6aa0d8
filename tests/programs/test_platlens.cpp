// platlens' command line, shared by both platforms: what accepted command
// lines give (the usage errors are in the twin's golden runs on Linux, and
// here in a child process so that Windows runs them too).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "programs/commun/frontal.h"
#include "programs/platlens/platlens.h"
#include "support/enfant.h"

namespace {

T_LigneCommandePlatlens lire(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "platlens");
  T_LigneCommandePlatlens ligne;
  lireLigneCommandePlatlens(static_cast<int>(arguments.size()),
                            const_cast<char* const*>(arguments.data()), &ligne);
  return ligne;
}

TEST(LigneCommandePlatlens, LignesAcceptees) {
  const struct {
    std::vector<const char*> arguments;
    bool disqueDonne;
    unsigned disque;
    bool pause;
  } cas[] = {
      {{}, false, 0, false},
      {{"0"}, true, 0, false},
      {{"-p", "127"}, true, 127, true},
      {{"/noterm", "007", "-noterm"}, true, 7, false},
      {{"/p"}, false, 0, true},
  };
  for (const auto& c : cas) {
    pauseDemandee = false;
    T_LigneCommandePlatlens l = lire(c.arguments);
    EXPECT_EQ(l.disqueDonne, c.disqueDonne) << c.arguments.size();
    EXPECT_EQ(l.disque, c.disque) << c.arguments.size();
    EXPECT_EQ(pauseDemandee, c.pause) << c.arguments.size();
  }
  pauseDemandee = false;
}

TEST(LigneCommandePlatlens, ErreursDUsage) {
  const struct {
    std::vector<const char*> arguments;
    const char* message;
  } cas[] = {
      {{"128"}, "Bad disk number argument.\n"},
      {{"-x"}, "Bad disk number argument.\n"},
      {{"1", "x"}, "Bad number of arguments.\n"},
      {{"-p", "/p"}, "-p argument given twice.\n"},
  };
  for (const auto& c : cas) {
    ResultatEnfant r = executerEnfant([&] {
      definirProgramme(NOM_VERSION_PLATLENS, USAGE_PLATLENS);
      lire(c.arguments);
    });
    EXPECT_EQ(r.statut, 1) << c.message;
    EXPECT_EQ(r.sortie, std::string(c.message) + USAGE_PLATLENS);
  }
}

}  // namespace
