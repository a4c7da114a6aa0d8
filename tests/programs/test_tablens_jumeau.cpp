// Whole runs of tablens' simulation twin on simulated machines: standard
// output compared with tests/programs/attendu/tablens/<name>.txt (written
// again when LENS_ECRIRE_ATTENDUS is set), the status, and the relaunch logs.
#ifdef LENS_JUMEAU_TABLENS
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "jumeau.h"

namespace {

const char* const TABLENS = LENS_JUMEAU_TABLENS;

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

class Jumeau : public testing::TestWithParam<CasJumeau> {};

TEST_P(Jumeau, SortieAttendue) {
  const CasJumeau& c = GetParam();
  MachineTemporaire m;
  m.machine(c.machine);
  Execution e = executerJumeau(TABLENS, m, c.arguments, c.entree, nullptr);
  ecrireAttenduSiDemande("tablens", c.nom, e.sortie);
  EXPECT_EQ(e.statut, c.statut);
  EXPECT_EQ(e.sortie, attendu("tablens", c.nom));
  EXPECT_EQ(e.erreur, "");
  EXPECT_EQ(m.lire("exec.log"), "");  // no relaunch without a display
}

INSTANTIATE_TEST_SUITE_P(Tablens, Jumeau, testing::ValuesIn(casJumeau),
                         [](const testing::TestParamInfo<CasJumeau>& i) {
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
    Execution e = executerJumeau(TABLENS, m, c.arguments, "", ":0");
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
    Execution e = executerJumeau(TABLENS, m, c.arguments, "", ":0");
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
    Execution e = executerJumeau(TABLENS, m, {"-p"}, "", ":0");
    EXPECT_EQ(e.statut, 1) << c.panne;
    EXPECT_EQ(e.sortie, "") << c.panne;
    EXPECT_EQ(e.erreur, c.message);
    EXPECT_EQ(m.lire("syslog.log"), std::string("<67>") + c.message);
  }
}

}  // namespace
#endif
