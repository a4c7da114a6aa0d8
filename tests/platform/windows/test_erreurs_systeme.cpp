// The saved system error of the Windows layer and its report: every DOS
// text of the 9x road, the system message table on NT with its line end
// trimmed, a failing FormatMessageA, and the open-file list after a lock.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "platform/windows/appels_windows.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/vwin32.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

std::string hexa(const char* format, unsigned code) {
  char t[100];
  snprintf(t, sizeof t, format, code);
  return t;
}

TEST(ErreursSysteme, TextesDOS) {
  const struct {
    uint32_t code;
    std::string texte;
  } cas[] = {
      {0, "no error"},
      {5, "access denied"},
      {10, "environment invalid (usually >32K in length)"},
      {32, "sharing violation"},
      {39, "insufficient disk space"},
      {65, "network access denied/codepage switching not possible"},
      {108, "drive locked by another process"},
      {142, "drive is busy"},
      {176, "volume is not locked"},
      {234, "more data available"},
      {15, hexa("invalid drive (0x%04x)", 15)},
      {255, "invalid drive (0x00ff)"},
      {40, "reserved (0x0028)"},
      {45, "reserved (0x002d)"},
      {49, "reserved (0x0031)"},
      {79, "reserved (0x004f)"},
      {53, "network name not found (0x0035)"},
      {67, "network name not found (0x0043)"},
      {163, "uncertain media/error 124 mapping (0x00a3)"},
      {165, "error 124 mapping (0x00a5)"},
      {94, "unknown error code (0x005e)"},
      {96, "unknown error code (0x0060)"},
      {166, "unknown error code (0x00a6)"},
      {179, "unknown error code (0x00b3)"},
      {216, "unknown error code (0x00d8)"},
      {235, "unknown error code (0x00eb)"},
      {254, "unknown error code (0x00fe)"},
      {256, "unknown error code (0x0100)"},
      {300, "unknown error code (0x012c)"},
  };
  for (const auto& c : cas) EXPECT_EQ(texteErreurDOS(c.code), c.texte) << c.code;
}

// The whole table: 189 fixed texts, the formatted entries at their codes,
// and no text that spills past the 100-byte buffer.
TEST(ErreursSysteme, TableDOSComplete) {
  int fixes = 0, inconnus = 0;
  for (uint32_t code = 0; code < 256; ++code) {
    std::string t = texteErreurDOS(code);
    ASSERT_FALSE(t.empty()) << code;
    EXPECT_LT(t.size(), 100u) << code;
    if (t.find("(0x") == std::string::npos) ++fixes;
    if (t.rfind("unknown error code", 0) == 0) ++inconnus;
  }
  EXPECT_EQ(fixes, 189);
  EXPECT_EQ(inconnus, 50);
}

std::string rapport(uint32_t numero, bool dos) {
  SortieCapturee sortie;
  if (dos) {
    fixerErreurDOS(static_cast<uint16_t>(numero));
  } else {
    appelsWindows.SetLastError(numero);
    memoriserErreurSysteme();
  }
  afficherErreurSysteme();
  return sortie.terminer();
}

std::string texteSysteme = "";

DWORD WINAPI formatFictif(DWORD, LPCVOID, DWORD, DWORD, LPSTR tampon, DWORD, va_list*) {
  char* bloc = static_cast<char*>(LocalAlloc(LMEM_FIXED, texteSysteme.size() + 1));
  memcpy(bloc, texteSysteme.c_str(), texteSysteme.size() + 1);
  *reinterpret_cast<char**>(tampon) = bloc;
  return static_cast<DWORD>(texteSysteme.size());
}

TEST(ErreursSysteme, TexteSystemeSansSaFinDeLigne) {
  Remplacement<T_AppelsWindows> table(appelsWindows);
  appelsWindows.FormatMessageA = formatFictif;
  const struct {
    const char* systeme;
    const char* affiche;
  } cas[] = {
      {"Access denied.\r\n", "Access denied."}, {"Access denied.\n", "Access denied."},
      {"Access denied.\r", "Access denied."},   {"Two\r\nlines\r\n", "Two\r\nlines"},
      {"\n", ""},
      {"no end", "no end"},
  };
  for (const auto& c : cas) {
    texteSysteme = c.systeme;
    EXPECT_EQ(rapport(5, false), std::string("Error number: 5.\nError message: ") + c.affiche + "\n")
        << c.systeme;
  }
}

// On NT the DOS flag is ignored: the text comes from the system's table.
TEST(ErreursSysteme, TexteDuSystemeSurNT) {
  for (DWORD code : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_READY,
                     ERROR_INVALID_PARAMETER, ERROR_FILE_NOT_FOUND}) {
    char* t = nullptr;
    ASSERT_NE(FormatMessageA(0x134F, nullptr, code, 0, reinterpret_cast<LPSTR>(&t), 1, nullptr), 0u);
    std::string attendu = t;
    LocalFree(t);
    while (!attendu.empty() && (attendu.back() == '\n' || attendu.back() == '\r')) attendu.pop_back();
    std::string debut = "Error number: " + std::to_string(code) + ".\nError message: ";
    EXPECT_EQ(rapport(code, false), debut + attendu + "\n");
    EXPECT_EQ(rapport(code, true), debut + attendu + "\n");
    EXPECT_TRUE(erreurDOS());
  }
}

TEST(ErreursSysteme, FormatMessageEnEchec) {
  MachineTemporaire m;
  m.machine("fail FormatMessageA * ERROR_MOD_NOT_FOUND\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  EXPECT_EQ(rapport(87, false), "Error number: 87.\nCannot get error message (126).\n");
}

TEST(ErreursSysteme, MemoriserLaDerniereErreur) {
  appelsWindows.SetLastError(33);
  memoriserErreurDOS();
  EXPECT_EQ(erreurSysteme(), 33u);
  EXPECT_TRUE(erreurDOS());
  appelsWindows.SetLastError(21);
  memoriserErreurSysteme();
  EXPECT_EQ(erreurSysteme(), 21u);
  EXPECT_FALSE(erreurDOS());
  fixerErreurDOS(0xFFFF);
  EXPECT_EQ(erreurSysteme(), 0xFFFFu);
}

TEST(ErreursSysteme, FichiersOuvertsSeulementSur9xApresUnVerrouRefuse) {
  SortieCapturee sortie;
  afficherFichiersOuverts('C', MESSAGE_ECHEC_VERROU);
  afficherFichiersOuverts('C', MESSAGE_LECTURE_IMPOSSIBLE);
  afficherFichiersOuverts('C', nullptr);
  EXPECT_EQ(sortie.terminer(), "");
}

// The 9x road over the simulated VWIN32 device (wine has no 9x family).
TEST(ErreursSysteme, TextesDOSSur9x) {
  ResultatEnfant r = executerEnfant([] {
    MachineTemporaire m;
    m.machine("windows 98\n");
    if (!m.installer()) return;
    ouvrirVwin32();
    fixerErreurDOS(5);
    afficherErreurSysteme();
    fixerErreurDOS(0x20);
    afficherErreurSysteme();
    fixerErreurDOS(300);
    afficherErreurSysteme();
    appelsWindows.SetLastError(ERROR_ACCESS_DENIED);
    memoriserErreurSysteme();
    afficherErreurSysteme();
    std::string lock = MESSAGE_ECHEC_VERROU;
    afficherFichiersOuverts('C', lock.c_str());
    afficherFichiersOuverts('C', "other");
  });
  EXPECT_EQ(r.statut, 0);
  std::string attendu =
      "Error number: 5.\nError message: access denied.\n"
      "Error number: 32.\nError message: sharing violation.\n"
      "Error number: 300.\nError message: unknown error code (0x012c).\n"
      "Error number: 5.\nError message: ";
  EXPECT_EQ(r.sortie.substr(0, attendu.size()), attendu);
  EXPECT_NE(r.sortie.find("List of opened files:\n"), std::string::npos);
}

}  // namespace
