// Whole runs of archlens and tablens on each Windows family, in a child per
// machine (the family is asked once per run): archlens opens its file by
// the wide calls on NT and by the narrow ones on 9x, with the same report
// either way; tablens finds no disk on 9x.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "programs/archlens/windows/execution.h"
#include "programs/tablens/tablens.h"
#include "sim/machine_windows.h"
#include "storage/disque.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"
#include "support/enfant.h"
#include "support/fichier_sauvegarde.h"
#include "support/remplacement.h"

namespace {

const char* const VERSIONS[] = {"xp", "98"};

// Each machine has a folder of its own: its name is left out.
std::string sansDossierMachine(const std::string& sortie) {
  static const std::regex dossier("lens_machine_[0-9]+_[0-9]+");
  return std::regex_replace(sortie, dossier, "lens_machine");
}

std::string apresBanniere(const std::string& sortie) {
  size_t fin = sortie.find('\n');
  return fin == std::string::npos ? "" : sortie.substr(fin + 1);
}

// The run's argv from its arguments (kept alive by the vector).
std::vector<char*> vecteurArguments(std::vector<std::string>* arguments) {
  std::vector<char*> v;
  for (std::string& a : *arguments) v.push_back(&a[0]);
  v.push_back(nullptr);
  return v;
}

// archlens' calls on the file's name, counted by family of entry points and
// printed at exit (a usage exit does not come back).
std::string nomFichier;
int appelsEtroits = 0, appelsLarges = 0;
T_AppelsWindows entrees;

DWORD WINAPI attributsEtroits(LPCSTR nom) {
  if (nomFichier == nom) ++appelsEtroits;
  return entrees.GetFileAttributesA(nom);
}
HANDLE WINAPI ouvertureEtroite(LPCSTR nom, DWORD a, DWORD p, LPSECURITY_ATTRIBUTES s, DWORD c,
                               DWORD d, HANDLE m) {
  if (nomFichier == nom) ++appelsEtroits;
  return entrees.CreateFileA(nom, a, p, s, c, d, m);
}
DWORD WINAPI attributsLarges(LPCWSTR nom) {
  ++appelsLarges;
  return entrees.GetFileAttributesW(nom);
}
HANDLE WINAPI ouvertureLarge(LPCWSTR nom, DWORD a, DWORD p, LPSECURITY_ATTRIBUTES s, DWORD c,
                             DWORD d, HANDLE m) {
  ++appelsLarges;
  return entrees.CreateFileW(nom, a, p, s, c, d, m);
}
void afficherAppels() { afficherMessage("[A %d W %d]", appelsEtroits, appelsLarges); }

struct CasArchlens {
  const char* nom;
  bool present;  // a correct file-system backup; else no file
  const char* fin;  // the end of the report
  int statut;
};

void PrintTo(const CasArchlens& c, std::ostream* flux) { *flux << c.nom; }

ChampsSauvegarde systemeFichiers() {
  ChampsSauvegarde c;
  c.typeElement = 3;
  c.typeSupport = 0;
  c.numeroPrincipal = 1;
  c.typePartition = 0x0C;
  c.premierSecteur = 2048;
  c.nombreSecteurs = 409600;
  c.nbSecteursMax = 409600;
  c.donnees = std::string(40000, '\x5A');
  return c;
}

const CasArchlens casArchlens[] = {
    {"verifie", true, "File is correct.\n", 0},
    {"absent", false,
     "Error message: File not found. \n"
     "Usage: archlens.exe [-t] [-noterm] [-p] <file name>\n",
     1},
};

ResultatEnfant archlensSur(const char* version, const CasArchlens& c) {
  bool present = c.present;
  return executerEnfant([version, present] {
    MachineTemporaire m;
    m.machine(std::string("windows ") + version + "\n");
    if (present) ecrireSauvegarde(m.chemin("s.bak"), systemeFichiers());
    if (!m.installer()) {
      afficherMessage("machine: %s\n", m.erreur().c_str());
      return;
    }
    ouvrirVwin32();
    initialiserTransferts();
    nomFichier = m.chemin("s.bak");
    entrees = appelsWindows;
    appelsWindows.GetFileAttributesA = attributsEtroits;
    appelsWindows.CreateFileA = ouvertureEtroite;
    appelsWindows.GetFileAttributesW = attributsLarges;
    appelsWindows.CreateFileW = ouvertureLarge;
    atexit(afficherAppels);
    std::vector<std::string> arguments = {"archlens", "-t", nomFichier};
    std::vector<char*> argv = vecteurArguments(&arguments);
    exit(executerArchlens(static_cast<int>(arguments.size()), argv.data()));
  });
}

class ArchlensFamilles : public testing::TestWithParam<CasArchlens> {};

TEST_P(ArchlensFamilles, MemeRapportParLesDeuxRoutes) {
  const CasArchlens& c = GetParam();
  ResultatEnfant nt = archlensSur("xp", c);
  EXPECT_EQ(nt.statut, c.statut);
  const std::string fin = std::string(c.fin);
  const std::string appelsNT = "[A 0 W 2]";
  ASSERT_GE(nt.sortie.size(), fin.size() + appelsNT.size()) << nt.sortie;
  EXPECT_EQ(nt.sortie.substr(nt.sortie.size() - appelsNT.size()), appelsNT);
  std::string rapport = nt.sortie.substr(0, nt.sortie.size() - appelsNT.size());
  if (c.present) {
    EXPECT_EQ(rapport.substr(rapport.size() - fin.size()), fin) << rapport;
  } else {
    EXPECT_NE(rapport.find("Warning checking file access.\nError number: 2.\n"), std::string::npos)
        << rapport;
    EXPECT_NE(rapport.find(fin), std::string::npos) << rapport;
  }
  // The 9x road: the narrow calls alone, the same report.
  ResultatEnfant neufX = archlensSur("98", c);
  EXPECT_EQ(neufX.statut, c.statut);
  EXPECT_EQ(sansDossierMachine(neufX.sortie), sansDossierMachine(rapport) + "[A 2 W 0]");
}

INSTANTIATE_TEST_SUITE_P(Archlens, ArchlensFamilles, testing::ValuesIn(casArchlens),
                         [](const testing::TestParamInfo<CasArchlens>& i) {
                           return std::string(i.param.nom);
                         });

// tablens with no argument over one declared drive: NT counts it, 9x has
// no disk at all (its disks are reached only when given by number).
TEST(TablensFamilles, NombreDeDisques) {
  for (const char* version : VERSIONS) {
    ResultatEnfant r = executerEnfant([version] {
      MachineTemporaire m;
      m.image("d.img", 8 << 20);
      m.machine(std::string("windows ") + version + "\ndrive 0 d.img\n");
      if (!m.installer()) {
        afficherMessage("machine: %s\n", m.erreur().c_str());
        return;
      }
      Disque::initialiserListe();
      ouvrirVwin32();
      initialiserTransferts();
      enregistrerNettoyagePlateforme();
      initialiserModeErreur();
      SupportBlocManager::installReleaseAtExit();
      std::vector<std::string> arguments = {"tablens", "-noterm"};
      std::vector<char*> argv = vecteurArguments(&arguments);
      exit(executerTablens(static_cast<int>(arguments.size()), argv.data()));
    });
    EXPECT_EQ(r.statut, 0) << version;
    EXPECT_EQ(r.sortie.find("TabLens V"), 0u) << r.sortie;
    std::string suite = apresBanniere(r.sortie);
    if (std::string(version) == "98") {
      EXPECT_EQ(suite, "Number of disks: 0.\n\n");
    } else {
      EXPECT_EQ(suite.rfind("Number of disks: 1.\n\nDisk 0:", 0), 0u) << suite;
    }
  }
}

}  // namespace
#endif
