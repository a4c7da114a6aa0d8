// The Windows layer and the Windows mains reach the system's libraries only
// through appelsWindows: a scan of their sources for direct calls of any
// seam entry or of the other functions the layer is known to need.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows/appels_windows.h"
#include "sim/machine_windows.h"
#include "support/code_source.h"

namespace {

// Not in the seam yet; a direct call of one of them is a fault as well.
const char* const autresFonctions[] = {
    "CreateFileA", "CreateFileW", "ReadFile", "WriteFile", "SetFilePointer", "SetFilePointerEx",
    "DeviceIoControl", "FlushFileBuffers", "GetFileSize", "GetFileAttributesA",
    "GetFileAttributesW", "GetLogicalDrives", "GetDriveTypeA", "QueryDosDeviceA",
    "FindFirstVolumeA", "FindNextVolumeA", "FindVolumeClose", "GetVolumePathNamesForVolumeNameA",
    "GetVolumeInformationA", "GetDiskFreeSpaceA", "GetDiskFreeSpaceExA", "FormatMessageA",
    "GetUserDefaultUILanguage", "AllocConsole", "GetStdHandle", "GetConsoleMode",
    "SetConsoleMode", "Sleep", "GetModuleHandleA", "TerminateProcess", "MultiByteToWideChar",
    "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges", "RegOpenKeyExA",
    "RegQueryValueExA", "RegSetValueExA", "RegDeleteValueA", "RegCloseKey",
    "AllocateAndInitializeSid", "CheckTokenMembership", "FreeSid", "ExitWindowsEx",
    "GetClipboardData", "NtShutdownSystem", "WaitForSingleObject", "GetExitCodeProcess"};

std::string racineSources() {
  std::string racine = __FILE__;
  racine.resize(racine.size() - std::string("tests/platform/windows/test_appels_windows.cpp").size());
  return cheminWindows(racine);
}

std::string contenu(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The entries of the seam, read from its declaration.
std::set<std::string> entreesSeam() {
  std::string texte = contenu(racineSources() + "platform\\windows\\appels_windows.h");
  std::set<std::string> noms;
  const std::regex entree(R"(\(WINAPI\*\s*([A-Za-z0-9_]+)\))");
  for (auto i = std::sregex_iterator(texte.begin(), texte.end(), entree); i != std::sregex_iterator(); ++i)
    noms.insert((*i)[1]);
  return noms;
}

std::regex detecteur(const std::set<std::string>& noms) {
  std::string alternatives;
  for (const std::string& n : noms) alternatives += (alternatives.empty() ? "" : "|") + n;
  return std::regex("(^|[^A-Za-z0-9_.>:]|::)(" + alternatives + R"()\s*\()");
}

std::set<std::string> tousLesNoms() {
  std::set<std::string> noms = entreesSeam();
  noms.insert(std::begin(autresFonctions), std::end(autresFonctions));
  return noms;
}

TEST(AppelsWindows, LeSeamEstLuEtToutesSesEntreesSontRemplies) {
  std::set<std::string> noms = entreesSeam();
  EXPECT_EQ(noms.size() * sizeof(void*), sizeof(T_AppelsWindows));
  EXPECT_TRUE(noms.count("GetVersionExA") && noms.count("GetProcAddress") && noms.count("MessageBoxA"));
  T_AppelsWindows neuf;
  void* entrees[sizeof neuf / sizeof(void*)];
  memcpy(entrees, &neuf, sizeof entrees);
  for (void* e : entrees) EXPECT_NE(e, nullptr);
}

TEST(AppelsWindows, DetecteurDAppelsDirects) {
  std::regex r = detecteur(tousLesNoms());
  auto direct = [&r](const std::string& ligne) { return std::regex_search(partieCode(ligne), r); };
  EXPECT_TRUE(direct("  if (!GetVersionExA(&v)) return;"));
  EXPECT_TRUE(direct("HANDLE h = ::CreateFileA (nom, 0, 0, 0, 0, 0, 0);"));
  EXPECT_FALSE(direct("appelsWindows.GetVersionExA(&v);"));
  EXPECT_FALSE(direct("pointEntree<T_FindFirstVolumeA>(\"FindFirstVolumeA\"); // ReadFile(h)"));
  EXPECT_FALSE(direct("p->ReadFile(h, b, n);"));
}

TEST(AppelsWindows, AucunAppelDirectHorsDuSeam) {
  std::string racine = racineSources();
  std::vector<std::string> dossiers = {racine + "platform\\windows"};
  for (const char* p : {"tablens", "platlens", "vollens", "archlens"})
    dossiers.push_back(racine + "programs\\" + p + "\\windows");
  std::regex r = detecteur(tousLesNoms());
  int fichiers = 0;
  for (const std::string& dossier : dossiers) {
    std::error_code erreur;
    for (const auto& e : std::filesystem::directory_iterator(dossier, erreur)) {
      std::string nom = e.path().filename().string();
      bool source = nom.size() > 4 && (nom.compare(nom.size() - 4, 4, ".cpp") == 0 ||
                                       nom.compare(nom.size() - 2, 2, ".h") == 0);
      if (!source || nom.rfind("appels_windows.", 0) == 0) continue;
      ++fichiers;
      std::istringstream f(contenu(e.path().string()));
      std::string ligne;
      for (int n = 1; std::getline(f, ligne); ++n)
        EXPECT_FALSE(std::regex_search(partieCode(ligne), r)) << nom << ":" << n << ": " << ligne;
    }
  }
  ASSERT_GT(fichiers, 0) << "sources not found under " << racine;
}

}  // namespace
