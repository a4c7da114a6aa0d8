// Windows maintenance routines on the simulated machine: the console
// recreated with QuickEdit off and the user's value put back, the option's
// refusal, the administrator test, the language, the reboot's roads, the
// clipboard's text read back and sectors of a volume.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/format.h"
#include "images_motif.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/maintenance.h"
#include "platform/windows/presse_papier.h"
#include "platform/windows/services.h"
#include "platform/windows/traitement_erreurs.h"
#include "platform/windows/vwin32.h"
#include "sim/machine_windows.h"
#include "sim/machine_windows_maintenance.h"
#include "support/enfant.h"
#include "support/remplacement.h"

namespace {

std::string dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

std::vector<std::string> sansFermetures(const std::vector<std::string>& journal) {
  std::vector<std::string> r;
  for (const std::string& l : journal)
    if (l != "RegCloseKey") r.push_back(l);
  return r;
}

TEST(MaintenanceWindows, ConsoleRecreeSansEditionRapide) {
  const std::string binaire(12, '\x07');
  const struct {
    const char* nom;
    bool present;
    T_ValeurRegistre avant;
    const char* console;
    std::vector<std::string> journal;
  } cas[] = {
      // The value exists only while the console is recreated.
      {"no value", false, {0, ""}, "yes",
       {"RegSetValueExA QuickEdit 4", "FreeConsole", "AllocConsole QuickEdit=0", "RegDeleteValueA QuickEdit"}},
      {"value 1", true, {REG_DWORD, dword(1)}, "yes",
       {"RegSetValueExA QuickEdit 4", "FreeConsole", "AllocConsole QuickEdit=0", "RegSetValueExA QuickEdit 4"}},
      // Longer than the first buffer: read whole and put back whole.
      {"12 bytes", true, {REG_BINARY, binaire}, "yes",
       {"RegSetValueExA QuickEdit 4", "FreeConsole", "AllocConsole QuickEdit=0", "RegSetValueExA QuickEdit 12"}},
      // Registry failures keep the console and the value as they are.
      {"key refused", true, {REG_DWORD, dword(1)}, "yes\nfail RegOpenKeyExA Console ERROR_ACCESS_DENIED", {}},
      {"value unreadable", true, {REG_DWORD, dword(1)},
       "yes\nfail RegQueryValueExA QuickEdit ERROR_ACCESS_DENIED", {}},
      {"value not set", true, {REG_DWORD, dword(1)}, "yes\nfail RegSetValueExA QuickEdit ERROR_ACCESS_DENIED", {}},
      // No console to free: nothing allocated, the value put back.
      {"no console", true, {REG_DWORD, dword(1)}, "no",
       {"RegSetValueExA QuickEdit 4", "RegSetValueExA QuickEdit 4"}},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.machine(std::string("console ") + c.console + "\n");
    ASSERT_TRUE(m.installer()) << m.erreur();
    if (c.present) registreConsoleSimule()["QuickEdit"] = c.avant;
    initialiserConsole(nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(sansFermetures(journalMaintenance()), c.journal) << c.nom;
    auto apres = registreConsoleSimule().find("QuickEdit");
    EXPECT_EQ(apres != registreConsoleSimule().end(), c.present) << c.nom;
    if (c.present && apres != registreConsoleSimule().end()) {
      EXPECT_EQ(apres->second.type, c.avant.type) << c.nom;
      EXPECT_EQ(apres->second.octets, c.avant.octets) << c.nom;
    }
    appelsWindows.SetConsoleCtrlHandler(consoleControlHandler, FALSE);
  }
}

TEST(MaintenanceWindows, ValeurDOptionEtConsoleRefusee) {
  {
    MachineTemporaire m;
    ASSERT_TRUE(m.installer()) << m.erreur();
    char nom[] = "-console";
    char* noms[] = {nom};
    initialiserConsole("no", nullptr, nullptr, noms, 0);
    EXPECT_TRUE(journalMaintenance().empty());
  }

  ResultatEnfant r = executerEnfant([] {
    char n[] = "-console";
    char* ns[] = {n};
    initialiserConsole("yes", nullptr, nullptr, ns, 0);
  }, "\n");
  EXPECT_EQ(r.statut, 1);
  EXPECT_NE(r.sortie.find("Value \"yes\" is not allowed for option -console\n(no)."), std::string::npos)
      << r.sortie;

  r = executerEnfant([] {
    MachineTemporaire e;
    e.machine("fail AllocConsole * ERROR_ACCESS_DENIED\n");
    if (!e.installer()) return;
    initialiserConsole(nullptr, nullptr, nullptr, nullptr, 0);
  }, "\n");
  EXPECT_EQ(r.statut, 1);
  EXPECT_NE(r.sortie.find("Cannot initialize output console."), std::string::npos) << r.sortie;
}

TEST(MaintenanceWindows, Administrateur) {
  const struct {
    const char* lignes;
    bool attendu;
  } cas[] = {
      {"admin yes\n", true},
      {"admin no\n", false},
      {"admin yes\nfail CheckTokenMembership * ERROR_ACCESS_DENIED\n", false},
      {"admin yes\nfail AllocateAndInitializeSid * ERROR_NOT_ENOUGH_MEMORY\n", false},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.machine(c.lignes);
    ASSERT_TRUE(m.installer()) << m.erreur();
    EXPECT_EQ(estAdministrateur(), c.attendu) << c.lignes;
  }
}

// NT 4 has no membership test: every user counts; so does a forced one. In
// children, alone in their test: the version is asked once per run.
TEST(MaintenanceWindowsVersions, AdministrateurNT4EtForce) {
  ResultatEnfant r = executerEnfant([] {
    MachineTemporaire m;
    m.machine("windows nt4\nadmin no\n");
    if (!m.installer()) return;
    afficherMessage("%d", estAdministrateur());
  });
  EXPECT_EQ(r.sortie, "1");
  r = executerEnfant([] {
    MachineTemporaire m;
    m.machine("admin no\n");
    if (!m.installer()) return;
    forcerAdministrateur();
    afficherMessage("%d", estAdministrateur());
  });
  EXPECT_EQ(r.sortie, "1");
}

TEST(MaintenanceWindows, Langue) {
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  const struct {
    LANGID langue;
    bool francais;
  } cas[] = {{0x409, false}, {0x40C, true}, {0x80C, true}, {0x40A, false}};
  for (const auto& c : cas) {
    fixerLangueSimulee(c.langue);
    bool francais = !c.francais, utf8 = true;
    analyserLocale(&francais, &utf8);
    EXPECT_EQ(francais, c.francais) << c.langue;
    EXPECT_FALSE(utf8);
  }
}

BOOL WINAPI arretAccepte(UINT, DWORD) {
  signalArret(CTRL_SHUTDOWN_EVENT);
  return TRUE;
}

TEST(MaintenanceWindows, Redemarrage) {
  // The system shuts down: no message, the status of the end asked for.
  for (bool normale : {true, false}) {
    ResultatEnfant r = executerEnfant([normale] {
      MachineTemporaire m;
      if (!m.installer()) return;
      Remplacement<decltype(appelsWindows.ExitWindowsEx)> arret(appelsWindows.ExitWindowsEx, arretAccepte);
      redemarrerOrdinateur(normale);
    }, "\n");
    EXPECT_EQ(r.statut, normale ? 0 : 3);
    EXPECT_EQ(r.sortie.find("Error"), std::string::npos) << r.sortie;
  }
  // Refusals: no privilege, a refused reboot, a system that never stops.
  for (const char* lignes : {"admin no\n", "fail ExitWindowsEx * ERROR_ACCESS_DENIED\n", ""}) {
    std::string l = lignes;
    ResultatEnfant r = executerEnfant([l] {
      MachineTemporaire m;
      m.machine(l);
      if (!m.installer()) return;
      redemarrerOrdinateur(false);
    }, "\n");
    EXPECT_EQ(r.statut, 3) << lignes;
    EXPECT_NE(r.sortie.find(MESSAGE_REDEMARRAGE_IMPOSSIBLE), std::string::npos) << lignes << r.sortie;
  }
}

LONG NTAPI arretAccorde(ULONG action) {
  signalArret(CTRL_SHUTDOWN_EVENT);
  return action == 1 ? 0 : -1;
}
LONG NTAPI arretRefuse(ULONG) { return static_cast<LONG>(0xC0000022); }
template <LONG(NTAPI* F)(ULONG)>
FARPROC WINAPI arretNtdll(HMODULE module, LPCSTR nom) {
  if (reinterpret_cast<uintptr_t>(nom) > 0xFFFF && strcmp(nom, "NtShutdownSystem") == 0) {
    FARPROC p;
    LONG(NTAPI * f)(ULONG) = F;
    memcpy(&p, &f, sizeof p);
    return p;
  }
  return ::GetProcAddress(module, nom);
}

// A preinstallation system is restarted through ntdll, never ExitWindowsEx.
TEST(MaintenanceWindows, RedemarrageMiniNT) {
  for (bool accorde : {true, false}) {
    ResultatEnfant r = executerEnfant([accorde] {
      MachineTemporaire m;
      if (!m.installer()) return;
      fixerMiniNTSimule(true);
      Remplacement<decltype(appelsWindows.GetProcAddress)> point(
          appelsWindows.GetProcAddress, accorde ? arretNtdll<arretAccorde> : arretNtdll<arretRefuse>);
      Remplacement<decltype(appelsWindows.ExitWindowsEx)> arret(appelsWindows.ExitWindowsEx, arretAccepte);
      redemarrerOrdinateur(true);
    }, "\n");
    EXPECT_EQ(r.statut, 0);
    EXPECT_EQ(r.sortie.find(MESSAGE_REDEMARRAGE_IMPOSSIBLE) == std::string::npos, accorde) << r.sortie;
  }
}

// Drive sizes, labels and letters (a child each: kernel32's optional entry
// points are taken once per run).
std::string lecteurs(const std::string& lignes) {
  ResultatEnfant r = executerEnfant([lignes] {
    MachineTemporaire m;
    m.image("d.img", 6ULL << 30);
    m.machine("drive 0 d.img\n"
              "volume A 0 0 512K\n"
              "volume C 0 1M 5G free=4294967295 label=SYSTEM fs=NTFS\n"
              "volume D 0 5121M 100M fs=FAT32\n" +
              lignes);
    if (!m.installer()) {
      afficherMessage("%s", m.erreur().c_str());
      return;
    }
    StringArray lettres = listerLettresLecteurs();
    for (size_t i = 0; i < lettres.count(); ++i) afficherMessage("%s ", lettres[i]);
    uint64_t total = 0, libre = 0;
    bool t = tailleLecteur('C', &total), l = espaceLibreLecteur('C', &libre);
    afficherMessage("| %d %llu %d %llu | %u %u %u |", t, static_cast<unsigned long long>(total), l,
                    static_cast<unsigned long long>(libre), nombreClustersLecteur('C'),
                    tailleClusterLecteur('C'), tailleSecteurLecteur('C'));
    afficherMessage(" %d %u", tailleLecteur('Q', &total), nombreClustersLecteur('Q'));
    char* c = informationsVolume('C');
    char* d = informationsVolume('D');
    afficherMessage(" | %s %s", c ? c : "(null)", d ? d : "(null)");
    free(c);
    free(d);
    errno = 0;
    bool q = verifierLecteur('q');
    int erreurQ = errno;
    afficherMessage(" | %d %d %d %d", verifierLecteur('c'), q, erreurQ, verifierLecteur('@'));
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  return r.sortie;
}

TEST(MaintenanceWindows, TaillesEtLettresDesLecteurs) {
  const std::string suite = " | 1310720 4096 512 | 0 0 | SYSTEM (null) | 1 0 2 0";
  EXPECT_EQ(lecteurs(""), "A: C: D: | 1 5368709120 1 4294967295" + suite);
  // Without GetDiskFreeSpaceExA the three figures multiply in 64 bits: a
  // volume above 4 GiB keeps its size (free space in whole clusters).
  EXPECT_EQ(lecteurs("missing GetDiskFreeSpaceExA\n"), "A: C: D: | 1 5368709120 1 4294963200" + suite);
}

TEST(MaintenanceWindows, TexteDuPressePapier) {
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  copierTextePressePapier("line one\r\nline two");
  viderPressePapier();
  EXPECT_TRUE(lireTextePressePapier());
  ASSERT_NE(contenuPressePapier(), nullptr);
  EXPECT_STREQ(static_cast<const char*>(contenuPressePapier()), "line one\r\nline two");
  EXPECT_EQ(longueurPressePapier(), 18u);
  // Kept bytes are not read over by lirePressePapier, but are by the text read.
  copierDonneesPressePapier("\x01\x02", 2);
  EXPECT_TRUE(lirePressePapier());
  EXPECT_FALSE(pressePapierContientTexte());
  EXPECT_TRUE(lireTextePressePapier());
  EXPECT_EQ(longueurPressePapier(), 18u);
  // A clipboard without text, or that cannot open, leaves the kept content.
  if (appelsWindows.OpenClipboard(nullptr)) {
    appelsWindows.EmptyClipboard();
    appelsWindows.CloseClipboard();
  }
  EXPECT_TRUE(lireTextePressePapier());
  EXPECT_EQ(longueurPressePapier(), 18u);
  viderPressePapier();
  EXPECT_FALSE(lirePressePapier());
}

TEST(MaintenanceWindows, SecteursDUnVolumeNT) {
  MachineTemporaire m;
  imageMotif(m, "d.img", 1 << 20, 512, {0, 5, 6});
  m.machine("drive 0 d.img\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  initialiserTransferts();
  HANDLE h = appelsWindows.CreateFileA("\\\\.\\PHYSICALDRIVE0", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0xB0000080, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  T_AccesDisque volume = {'C', h};
  int mode = 0;
  std::vector<uint8_t> s(1024, 0xAA);
  ASSERT_TRUE(lireSecteursVolume(&volume, 5, 2, 512, s.data(), &mode));
  EXPECT_EQ(s, secteurs(5, 2, 512));
  // A failing one-sector read leaves zeros; two sectors are left as they were.
  s.assign(1024, 0xAA);
  EXPECT_FALSE(lireSecteursVolume(&volume, 4096, 1, 512, s.data(), &mode));
  EXPECT_EQ(std::vector<uint8_t>(s.begin(), s.begin() + 512), std::vector<uint8_t>(512, 0));
  s.assign(1024, 0xAA);
  EXPECT_FALSE(lireSecteursVolume(&volume, 4096, 2, 512, s.data(), &mode));
  EXPECT_EQ(s, std::vector<uint8_t>(1024, 0xAA));
  EXPECT_FALSE(ecrireSecteursVolume(&volume, 0, 1, 512, s.data(), &mode));  // opened for reading only
  appelsWindows.CloseHandle(h);
}

// The 9x roads (under `windows 98`).
TEST(MaintenanceWindows9x, RedemarrageRefuseEtFormesDuVolume) {
  ResultatEnfant r = executerEnfant([] {
    MachineTemporaire m;
    m.machine("windows 98\n");
    if (!m.installer()) return;
    redemarrerOrdinateur(true);
  }, "\n");
  EXPECT_EQ(r.statut, 0);
  EXPECT_NE(r.sortie.find(MESSAGE_REDEMARRAGE_IMPOSSIBLE), std::string::npos) << r.sortie;

  // A FAT32 volume refuses int 25h in both forms: the mode ends at 2 and
  // stays there for the next call.
  r = executerEnfant([] {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    // A FAT32 boot sector: 512 bytes a sector, no 16-bit FAT size.
    m.remplacer("d.img", 1048576 + 0x0B, std::string("\0\2", 2));
    m.machine("windows 98\ndrive 0 d.img\nvolume C 0 1048576 4194304\n");
    if (!m.installer()) return;
    ouvrirVwin32();
    initialiserTransferts();
    T_AccesDisque volume = {'C', INVALID_HANDLE_VALUE};
    std::vector<uint8_t> s(512);
    int mode = 0;
    bool lu = lireSecteursVolume(&volume, 0, 1, 512, s.data(), &mode);
    afficherMessage("%d %d %d ", lu, mode, s[0x0C]);
    lu = lireSecteursVolume(&volume, 0, 1, 512, s.data(), &mode);
    afficherMessage("%d %d", lu, mode);
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  EXPECT_EQ(r.sortie, "1 2 2 1 2");
}

}  // namespace
