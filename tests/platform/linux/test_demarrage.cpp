// Start-up checks, locale choice and the terminal relaunch: versions through
// stub seam entries, the relaunch on a simulated machine (exec.log and
// syslog.log).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <clocale>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/erreurs.h"
#include "core/format.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/demarrage.h"
#include "platform/linux/peripheriques_declares.h"
#include "sim/machine_linux.h"
#include "support/enfant.h"
#include "support/remplacement.h"

namespace {

std::map<std::string, std::string> environnement;

char* lireEnvironnement(const char* nom) {
  auto v = environnement.find(nom);
  return v == environnement.end() ? nullptr : const_cast<char*>(v->second.c_str());
}

const char* versionNoyau;
const char* versionGlibc;

int unameFaux(struct utsname* nom) {
  if (versionNoyau == nullptr) return -1;
  snprintf(nom->release, sizeof nom->release, "%s", versionNoyau);
  return 0;
}
const char* glibcFausse() { return versionGlibc; }

const char NOYAU_REFUSE[] =
    "Error: You need a version of kernel >= 2.5.4.\n-- Press Return to continue --";
const char GLIBC_REFUSEE[] =
    "Error: You need a version of glibc >= 2.2.0.\n-- Press Return to continue --";

TEST(Demarrage, VersionsDuSysteme) {
  struct Cas {
    const char* noyau;  // null: uname fails
    const char* glibc;  // null: no version
    const char* sortie;
  } cas[] = {
      {"2.5.4", "2.2", ""},            {"2.5.5", "2.2.0", ""},
      {"2.6", "2.3.4", ""},            {"3", "2.36", ""},
      {"6.1.0-13-amd64", "3.0", ""},   {"2.5.3", "2.36", NOYAU_REFUSE},
      {"2.4.99", "2.36", NOYAU_REFUSE}, {"1.99.99", "2.36", NOYAU_REFUSE},
      {"", "2.36", NOYAU_REFUSE},       {nullptr, "2.36", NOYAU_REFUSE},
      {"6.1", "2.1.99", GLIBC_REFUSEE}, {"6.1", "1.9", GLIBC_REFUSEE},
      {"6.1", nullptr, GLIBC_REFUSEE},  {"6.1", "2.2.99", ""},
  };
  Remplacement<decltype(appelsSysteme.uname)> u(appelsSysteme.uname, unameFaux);
  Remplacement<decltype(appelsSysteme.gnu_get_libc_version)> g(
      appelsSysteme.gnu_get_libc_version, glibcFausse);
  for (const Cas& c : cas) {
    versionNoyau = c.noyau;
    versionGlibc = c.glibc;
    ResultatEnfant r = executerEnfant([] { verifierSysteme(); }, "\n");
    std::string quoi = std::string(c.noyau ? c.noyau : "-") + " " + (c.glibc ? c.glibc : "-");
    EXPECT_EQ(r.statut, *c.sortie != '\0' ? 1 : 0) << quoi;
    EXPECT_EQ(r.sortie, c.sortie) << quoi;
  }
}

// Calls of setlocale and setenv, in order, as "L:name" and "E:VAR=value".
std::vector<std::string> appels;
std::set<std::string> localesAcceptees;

char* setlocaleFaux(int categorie, const char* nom) {
  appels.push_back(std::string(categorie == LC_ALL ? "L:" : "?:") + nom);
  static char accepte[] = "ok";
  return *nom == '\0' || localesAcceptees.count(nom) ? accepte : nullptr;
}
int setenvFaux(const char* nom, const char* valeur, int remplacer) {
  appels.push_back(std::string("E:") + nom + "=" + valeur + (remplacer ? "" : " (kept)"));
  return 0;
}

class Locale : public testing::Test {
 protected:
  void SetUp() override {
    environnement.clear();
    appels.clear();
    localesAcceptees.clear();
  }
  Remplacement<decltype(appelsSysteme.getenv)> getenv_{appelsSysteme.getenv, lireEnvironnement};
  Remplacement<decltype(appelsSysteme.setlocale)> setlocale_{appelsSysteme.setlocale,
                                                             setlocaleFaux};
  Remplacement<decltype(appelsSysteme.setenv)> setenv_{appelsSysteme.setenv, setenvFaux};
};

TEST_F(Locale, Analyse) {
  struct Cas {
    std::map<std::string, std::string> variables;
    bool francais, utf8;
  } cas[] = {
      {{}, false, false},
      {{{"LANG", "fr_FR.UTF-8"}}, true, true},
      {{{"LANG", "FR"}}, true, false},
      {{{"LANG", "fR_be@euro"}}, true, false},
      {{{"LANG", "f"}}, false, false},
      {{{"LC_ALL", "de_DE.utf-8"}}, false, true},
      {{{"LANG", "de_DE.utf8"}}, false, false},
      {{{"LANG", "UTF-8"}}, false, true},
      {{{"LANG", "en_US.ISO-8859-1.UTF-8"}}, false, false},  // from the first '.' only
      {{{"LC_CTYPE", "fr_CA.ISO-8859-1"}, {"LANG", "en_US.UTF-8"}}, true, false},
      {{{"LC_ALL", "C"}, {"LC_CTYPE", "fr_FR.UTF-8"}}, false, false},
      {{{"LC_ALL", ""}, {"LANG", "fr_FR.UTF-8"}}, false, false},  // set, even empty
  };
  for (const Cas& c : cas) {
    environnement = c.variables;
    bool francais = !c.francais, utf8 = !c.utf8;
    analyserLocale(&francais, &utf8);
    std::string quoi = c.variables.empty() ? "(none)" : c.variables.begin()->second;
    EXPECT_EQ(francais, c.francais) << quoi;
    EXPECT_EQ(utf8, c.utf8) << quoi;
  }
}

TEST_F(Locale, Application) {
  struct Cas {
    const char* lang;  // null: no variable set
    int32_t mode;
    bool francais, utf8;
    std::set<std::string> acceptees;
    std::vector<std::string> appels;
  } cas[] = {
      {"de_DE.utf8", 0, false, false, {}, {"L:"}},
      {"de_DE.utf8", 1, false, false, {},
       {"L:de_DE.ISO-8859-1", "L:de_DE.ISO-8859-15", "L:de_DE", "E:LC_CTYPE=de_DE.ISO-8859-1",
        "E:LC_ALL=de_DE.ISO-8859-1", "E:LANG=de_DE.ISO-8859-1", "L:de_DE.ISO-8859-1"}},
      {"de_DE.utf8", 2, false, false, {"de_DE.ISO-8859-15"},
       {"L:de_DE.ISO-8859-1", "L:de_DE.ISO-8859-15", "E:LC_CTYPE=de_DE.ISO-8859-15",
        "E:LC_ALL=de_DE.ISO-8859-15", "E:LANG=de_DE.ISO-8859-15", "L:de_DE.ISO-8859-15"}},
      {"C", 1, false, false, {"C"}, {"L:C", "E:LC_CTYPE=C", "E:LC_ALL=C", "E:LANG=C", "L:C"}},
      {"POSIX@x", 1, true, true, {},
       {"L:fr_FR.UTF-8", "L:fr_FR", "E:LC_CTYPE=fr_FR.UTF-8", "E:LC_ALL=fr_FR.UTF-8",
        "E:LANG=fr_FR.UTF-8", "L:fr_FR.UTF-8"}},
      {nullptr, 1, false, true, {"UTF-8"},
       {"L:UTF-8", "E:LC_CTYPE=UTF-8", "E:LC_ALL=UTF-8", "E:LANG=UTF-8", "L:UTF-8"}},
      {"C.UTF-8", 1, false, false, {"C"}, {"L:C", "E:LC_CTYPE=C", "E:LC_ALL=C", "E:LANG=C", "L:C"}},
      {"Cx", 1, false, true, {"Cx"},
       {"L:Cx.UTF-8", "L:Cx", "E:LC_CTYPE=Cx", "E:LC_ALL=Cx", "E:LANG=Cx", "L:Cx"}},
      {"de_DE@euro.UTF-8", 1, false, true, {},
       {"L:de_DE.UTF-8@euro", "L:de_DE@euro", "E:LC_CTYPE=de_DE.UTF-8@euro",
        "E:LC_ALL=de_DE.UTF-8@euro", "E:LANG=de_DE.UTF-8@euro", "L:de_DE.UTF-8@euro"}},
  };
  for (const Cas& c : cas) {
    SetUp();
    if (c.lang != nullptr) environnement["LANG"] = c.lang;
    localesAcceptees = c.acceptees;
    appliquerLocale(c.mode, c.francais, c.utf8);
    EXPECT_EQ(appels, c.appels) << (c.lang ? c.lang : "(none)") << " mode " << c.mode;
  }
}

TEST_F(Locale, RestaurationALaSortie) {
  // The pending flag is process-wide and never set again: the first case needs
  // a new process, which the threadsafe style gives (the test is run again).
  Remplacement<std::string> style(testing::FLAGS_gtest_death_test_style, "threadsafe");
  environnement["LANG"] = "fr_FR.UTF-8";
  ResultatEnfant r = executerEnfant([] {
    restaurerLocale();
    restaurerLocale();  // applied once: no longer pending
    afficherMessage("%u", static_cast<unsigned>(appels.size()));
  });
  EXPECT_EQ(r.sortie, "1");
  r = executerEnfant([] {
    appliquerLocale(0, false, false);
    appels.clear();
    restaurerLocale();
    afficherMessage("%u", static_cast<unsigned>(appels.size()));
  });
  EXPECT_EQ(r.sortie, "0");
}

// verifierSysteme and restaurerLocale forget the declared devices, so the
// next query reads the configuration again.
TEST(Demarrage, ListeDesPeripheriquesDeclaresVidee) {
  MachineTemporaire m;
  m.image("a.img", 1 << 20);
  m.machine("block /dev/sda1 8:1 a.img\nblock /dev/sdb1 8:17 a.img\n");
  m.ecrire("etc/fstab", "/dev/sda1 / ext4 rw 0 1\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  appelsSysteme.getenv = lireEnvironnement;
  environnement.clear();
  appelsSysteme.uname = [](struct utsname* nom) {
    snprintf(nom->release, sizeof nom->release, "6.1");
    return 0;
  };
  appelsSysteme.gnu_get_libc_version = [] { return "2.36"; };
  void (*const videurs[])() = {verifierSysteme, restaurerLocale};
  for (auto vider : videurs) {
    m.ecrire("etc/fstab", "/dev/sda1 / ext4 rw 0 1\n");
    viderPeripheriquesDeclares();
    EXPECT_EQ(listerPeripheriquesDeclares(), 1u);
    m.ecrire("etc/fstab", "/dev/sda1 / ext4 rw 0 1\n/dev/sdb1 /b ext4 rw 0 2\n");
    EXPECT_EQ(listerPeripheriquesDeclares(), 1u);  // kept until emptied
    vider();
    EXPECT_EQ(listerPeripheriquesDeclares(), 2u);
  }
  viderPeripheriquesDeclares();
  executerFonctionsSortie();  // restaurerLocale, registered by verifierSysteme
}

// A machine with no terminal and a display, where every relaunch is logged.
class Relance : public testing::Test {
 protected:
  void SetUp() override {
    environnement = {{"DISPLAY", ":0"}};
  }
  void installer(const std::string& directives) {
    machine_.machine(directives);
    ASSERT_TRUE(machine_.installer()) << machine_.erreur();
    appelsSysteme.getenv = lireEnvironnement;
    appelsSysteme.setlocale = setlocaleFaux;
  }
  MachineTemporaire machine_;
};

char arg0[] = "/opt/tablens", arg1[] = "-p", arg2[] = "3", arg3[] = "-d", arg4[] = "x";
char* argv5[] = {arg0, arg1, arg2, arg3, arg4, nullptr};
const char* const sansTerminal[] = {"-noterm"};

TEST_F(Relance, VecteurDuTerminal) {
  struct Cas {
    const char* terminal;
    const char* option;
    int saut, paire, nombre;
    const char* journal;  // empty: no relaunch
  } cas[] = {
      {nullptr, nullptr, -1, -1, 1, "xterm -e /opt/tablens -p 3 -d x -noterm\n"},
      {"no", nullptr, -1, -1, 1, ""},
      {"rxvt", "", 1, -1, 1, "rxvt /opt/tablens 3 -d x -noterm\n"},
      {"konsole", "-x", -1, 2, 0, "konsole -x /opt/tablens -p x\n"},
      {"st", nullptr, 3, 0, 1, "st -e 3 x -noterm\n"},
      {"st", "-t", 4, -1, 1, "st -t /opt/tablens -p 3 -d -noterm\n"},
  };
  installer("tty no\n");
  for (const Cas& c : cas) {
    std::remove(machine_.chemin("exec.log").c_str());
    ResultatEnfant r = executerEnfant([&c] {
      lancerTerminal(c.terminal, c.option, 5, argv5, c.saut, c.paire, c.nombre, sansTerminal);
      afficherMessage("no relaunch");
    });
    EXPECT_EQ(r.statut, 0) << c.journal;
    EXPECT_EQ(r.sortie, *c.journal ? "" : "no relaunch") << c.journal;
    EXPECT_EQ(machine_.lire("exec.log"), c.journal);
  }
}

pid_t forkParent() { return 4242; }

TEST_F(Relance, LeParentSArreteAussitot) {
  installer("tty no\n");
  appelsSysteme.fork = forkParent;
  ResultatEnfant r = executerEnfant([] {
    ajouterFonctionSortie([] { afficherMessage("exit functions ran"); });
    lancerTerminal(nullptr, nullptr, 5, argv5, -1, -1, 1, sansTerminal);
    afficherMessage("returned");
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "exit functions ran");
  EXPECT_EQ(machine_.lire("exec.log"), "");
}

}  // namespace
