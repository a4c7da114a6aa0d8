// Windows system services: family and version tests through the simulated
// machine, the optional kernel32 entry points, the error mode, the reboot
// stop flag and the memory budget.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/erreurs.h"
#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/services.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/remplacement.h"

namespace {

struct VersionSimulee {
  const char* nom;
  bool nt;
  unsigned majeur, mineur;
};

const VersionSimulee versionsSimulees[] = {
    {"95", false, 4, 0},  {"98", false, 4, 10}, {"me", false, 4, 90},
    {"nt4", true, 4, 0},  {"2000", true, 5, 0}, {"xp", true, 5, 1},   {"2003", true, 5, 2},
    {"vista", true, 6, 0}, {"7", true, 6, 1},   {"10", true, 10, 0},
};

TEST(VersionsWindows, VersionAuMoinsAuxBornes) {
  for (const VersionSimulee& v : versionsSimulees) {
    MachineTemporaire m;
    m.machine(std::string("windows ") + v.nom);
    ASSERT_TRUE(m.installer()) << m.erreur();
    // Every 9x answer is false, whatever its numbers.
    EXPECT_EQ(versionWindowsAuMoins(v.majeur, v.mineur), v.nt) << v.nom;
    EXPECT_EQ(versionWindowsAuMoins(v.majeur - 1, 99), v.nt) << v.nom;
    EXPECT_FALSE(versionWindowsAuMoins(v.majeur, v.mineur + 1)) << v.nom;
    EXPECT_FALSE(versionWindowsAuMoins(v.majeur + 1, 0)) << v.nom;
    EXPECT_EQ(versionWindowsAuMoins(0, 0), v.nt) << v.nom;
  }
  MachineTemporaire m;
  m.machine("windows 10\nfail GetVersionExA * ERROR_INVALID_PARAMETER\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  EXPECT_FALSE(versionWindowsAuMoins(0, 0));
}

// The cached predicates, in a child each: "NT 2000 XP Vista" as four digits,
// asked twice, the second time on another version (the first answers stay).
std::string predicatsCaches(const std::string& lignes) {
  ResultatEnfant r = executerEnfant([lignes] {
    MachineTemporaire m;
    m.machine(lignes);
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    for (int tour = 0; tour < 2; ++tour) {
      afficherMessage("%d%d%d%d%s", estWindowsNT(), estWindows2000OuPlus(), estWindowsXPOuPlus(),
                      estWindowsVistaOuPlus(), tour ? "" : " ");
      retirerMachine();
      MachineTemporaire autre;
      autre.machine(estWindowsNT() ? "windows 95\n" : "windows 10\n");
      autre.installer();
    }
    afficherMessage(" %d", estSystemeWindows());
  });
  EXPECT_EQ(r.statut, 0);
  return r.sortie;
}

TEST(VersionsWindows, PredicatsCachesParFamille) {
  const struct {
    const char* lignes;
    const char* attendu;
  } cas[] = {
      {"windows 98\n", "0000 0000 1"},
      {"windows me\n", "0000 0000 1"},
      {"windows nt4\n", "1000 1000 1"},     {"windows 2000\n", "1100 1100 1"},
      {"windows xp\n", "1110 1110 1"},      {"windows 2003\n", "1110 1110 1"},
      {"windows vista\n", "1111 1111 1"},   {"windows 7\n", "1111 1111 1"},
      // A failing version query: the 9x roads for the whole run.
      {"windows 7\nfail GetVersionExA * ERROR_INVALID_PARAMETER count=4\n", "0000 0000 1"},
  };
  for (const auto& c : cas) EXPECT_EQ(predicatsCaches(c.lignes), c.attendu) << c.lignes;
}

int liberations = 0;

// The optional entry points of one machine, in a child: which are non-null.
std::string pointsEntree(const std::string& lignes) {
  ResultatEnfant r = executerEnfant([lignes] {
    MachineTemporaire m;
    m.machine(lignes);
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    chargerKernel32();
    chargerKernel32();
    const T_PointsEntreeKernel32& p = pointsEntreeKernel32();
    afficherMessage("%d%d%d %d%d%d", p.findFirstVolumeA != nullptr, p.findNextVolumeA != nullptr,
                    p.findVolumeClose != nullptr, p.getVolumePathNamesForVolumeNameA != nullptr,
                    p.getDiskFreeSpaceExA != nullptr, p.getUserDefaultUILanguage != nullptr);
  });
  EXPECT_EQ(r.statut, 0);
  return r.sortie;
}

TEST(ServicesWindows, PointsEntreeOptionnels) {
  const struct {
    const char* lignes;
    const char* attendu;
  } cas[] = {
      {"windows 95\n", "000 000"},
      {"windows me\n", "000 011"},
      {"windows nt4\n", "000 010"},
      {"windows 2000\n", "111 011"},
      {"windows xp\n", "111 111"},
      // Two of the three enumeration functions are not enough.
      {"windows 7\nmissing FindVolumeClose\n", "000 111"},
      {"windows 7\nmissing GetUserDefaultUILanguage\n", "111 110"},
      {"missing kernel32.dll\n", "000 000"},
  };
  for (const auto& c : cas) EXPECT_EQ(pointsEntree(c.lignes), c.attendu) << c.lignes;
}

UINT modeDemande = 0;
UINT WINAPI noterMode(UINT mode) {
  modeDemande = mode;
  return 0;
}
BOOL WINAPI noterLiberation(HMODULE) {
  ++liberations;
  return TRUE;
}

TEST(ServicesWindows, ModeErreurEtDechargementASortie) {
  ResultatEnfant r = executerEnfant([] {
    appelsWindows.SetErrorMode = noterMode;
    appelsWindows.FreeLibrary = noterLiberation;
    signalArret(CTRL_SHUTDOWN_EVENT);
    initialiserModeErreur();
    afficherMessage("mode %#x stop %d\n", modeDemande, estArretDemande());
    chargerKernel32();
    executerFonctionsSortie();
    executerFonctionsSortie();
    dechargerKernel32();
    afficherMessage("freed %d\n", liberations);
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, "mode 0x8001 stop 0\nfreed 1\n");
}

TEST(ServicesWindows, ConvertirSeparateurs) {
  const struct {
    const char* texte;
    const char* attendu;
  } cas[] = {{"", ""}, {"a/b", "a\\b"}, {"//x//", "\\\\x\\\\"}, {"C:\\d/e", "C:\\d\\e"}};
  for (const auto& c : cas) {
    std::string t = c.texte;
    convertirSeparateurs(&t[0]);
    EXPECT_EQ(t, c.attendu);
  }
  convertirSeparateurs(nullptr);
}

TEST(ServicesWindows, SignalArretNeRetientQueLArret) {
  effacerArretDemande();
  for (DWORD e : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT}) {
    EXPECT_FALSE(signalArret(e));
    EXPECT_FALSE(estArretDemande()) << e;
  }
  EXPECT_FALSE(signalArret(CTRL_SHUTDOWN_EVENT));
  EXPECT_TRUE(estArretDemande());
  EXPECT_FALSE(signalArret(CTRL_C_EVENT));
  EXPECT_TRUE(estArretDemande());
  effacerArretDemande();
}

SIZE_T physiqueLibre = 0;
void WINAPI etatMemoire(LPMEMORYSTATUS etat) {
  EXPECT_EQ(etat->dwLength, sizeof *etat);
  etat->dwAvailPhys = physiqueLibre;
  etat->dwTotalPhys = physiqueLibre * 4;
}

TEST(ServicesWindows, MemoireDisponibleLibreMoinsUtilisee) {
  Remplacement<decltype(appelsWindows.GlobalMemoryStatus)> r(appelsWindows.GlobalMemoryStatus,
                                                             etatMemoire);
  physiqueLibre = 100000;
  EXPECT_EQ(memoireDisponible(), 100000u);
  fixerLimiteMemoire(60000);
  EXPECT_EQ(memoireDisponible(), 60000u);
  ajouterMemoireUtilisee(10000);
  EXPECT_EQ(memoireDisponible(), 50000u);
  EXPECT_EQ(nombreMaxElements(512), 97u);
  ajouterMemoireUtilisee(50000);
  EXPECT_EQ(memoireDisponible(), 0u);
  retirerMemoireUtilisee(~0ULL);
  fixerLimiteMemoire(-1);
  EXPECT_EQ(memoireDisponible(), 100000u);
}

}  // namespace
