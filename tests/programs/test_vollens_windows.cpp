// vollens' NT checks on the geometry a volume reports: the sector size, the
// media type, the heads and sectors per track, and which of the two
// geometry answers is kept. The simulated volume answers the rest.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <ostream>
#include <string>

#include "platform/windows/appels_windows.h"
#include "programs/vollens/windows/detection.h"
#include "sim/machine_windows.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

struct CasGeometrie {
  const char* nom;
  DISK_GEOMETRY etendue;   // BytesPerSector 0xFFFFFFFF: the call fails
  DISK_GEOMETRY standard;  // likewise
  const char* fin;         // the report after the standard function's lines
};

void PrintTo(const CasGeometrie& c, std::ostream* flux) { *flux << c.nom; }

const CasGeometrie* casCourant = nullptr;
decltype(T_AppelsWindows::DeviceIoControl) controleMachine = nullptr;

BOOL WINAPI geometries(HANDLE h, DWORD code, LPVOID entree, DWORD tailleEntree, LPVOID sortie,
                       DWORD tailleSortie, LPDWORD rendus, LPOVERLAPPED recouvrement) {
  const DISK_GEOMETRY* g = code == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX ? &casCourant->etendue
                           : code == IOCTL_DISK_GET_DRIVE_GEOMETRY  ? &casCourant->standard
                                                                    : nullptr;
  if (g == nullptr) {
    return controleMachine(h, code, entree, tailleEntree, sortie, tailleSortie, rendus,
                           recouvrement);
  }
  if (g->BytesPerSector == 0xFFFFFFFFu) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  memset(sortie, 0, tailleSortie);
  memcpy(sortie, g, sizeof *g);
  uint64_t taille = 32ull << 20;
  if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX) memcpy(static_cast<uint8_t*>(sortie) + 24, &taille, 8);
  *rendus = code == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX ? 32 : sizeof *g;
  return TRUE;
}

DISK_GEOMETRY geo(uint64_t cylindres, MEDIA_TYPE media, uint32_t tetes, uint32_t secteurs,
                  uint32_t octets) {
  DISK_GEOMETRY g = {};
  g.Cylinders.QuadPart = static_cast<LONGLONG>(cylindres);
  g.MediaType = media;
  g.TracksPerCylinder = tetes;
  g.SectorsPerTrack = secteurs;
  g.BytesPerSector = octets;
  return g;
}

const DISK_GEOMETRY REFUS = geo(0, Unknown, 0, 0, 0xFFFFFFFFu);
const DISK_GEOMETRY BONNE = geo(4, FixedMedia, 255, 63, 512);

const char* const POSITIONS =
    "Getting position through extended function:\n  First sector: 2048 sectors\n"
    "  Nb sectors: 65536 sectors - 32.00 MB\n"
    "Getting position through standard function:\n  First sector: 2048 sectors\n"
    "  Nb sectors: 65536 sectors - 32.00 MB\n";

const CasGeometrie casGeometries[] = {
    {"bonne", BONNE, BONNE, ""},
    {"media_inconnu", geo(4, Unknown, 255, 63, 512), BONNE, "Invalid number of sectors.\n"},
    {"media_hors_table", geo(4, static_cast<MEDIA_TYPE>(26), 255, 63, 512), REFUS,
     "Invalid number of sectors.\n"},
    {"secteurs_de_0_octet", geo(4, FixedMedia, 255, 63, 0), geo(4, FixedMedia, 255, 63, 0),
     "!Not supported sector size.\nInvalid number of sectors.\n"},
    {"secteurs_de_520_octets", geo(4, FixedMedia, 255, 63, 520), REFUS,
     "!Not supported sector size.\nInvalid number of sectors.\n"},
    // The standard answer replaces an extended one of 0 bytes per sector.
    {"etendue_sans_taille_de_secteur", geo(4, FixedMedia, 0, 0, 0), BONNE, ""},
    {"tetes_et_secteurs_hors_bornes", geo(4, FixedMedia, 257, 64, 512), REFUS,
     "Invalid number of heads.\nInvalid number of sectors per track.\n"},
    {"aucune_tete_aucun_secteur", geo(4, FixedMedia, 0, 0, 512), REFUS,
     "Invalid number of heads.\nInvalid number of sectors per track.\n"},
    {"deux_refus_pas_de_verification", REFUS, REFUS, "#"},
};

class GeometrieVolume : public testing::TestWithParam<CasGeometrie> {};

TEST_P(GeometrieVolume, Verifications) {
  const CasGeometrie& c = GetParam();
  MachineTemporaire m;
  m.image("d.img", 64 << 20);
  m.machine("drive 0 d.img\nvolume C 0 1M 32M fs=FAT32\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  casCourant = &c;
  controleMachine = appelsWindows.DeviceIoControl;
  Remplacement<decltype(appelsWindows.DeviceIoControl)> r(appelsWindows.DeviceIoControl,
                                                          geometries);
  SortieCapturee sortie;
  detecterLecteurNT('C');
  std::string texte = sortie.terminer();
  size_t debut = texte.find("Trying to use standard function:\n");
  ASSERT_NE(debut, std::string::npos) << texte;
  debut = texte.find("Getting position", debut);
  std::string fin = c.fin;
  if (fin == "#") {
    // Neither geometry: no position, no check.
    EXPECT_EQ(debut, std::string::npos) << texte;
    EXPECT_EQ(texte.find("Invalid number"), std::string::npos) << texte;
    EXPECT_EQ(texte.find("Not supported"), std::string::npos) << texte;
    return;
  }
  if (!fin.empty() && fin[0] == '!') {
    // A bad sector size: no position either.
    EXPECT_EQ(debut, std::string::npos) << texte;
    EXPECT_EQ(texte.substr(texte.size() - (fin.size() - 1)), fin.substr(1)) << texte;
    return;
  }
  ASSERT_NE(debut, std::string::npos) << texte;
  EXPECT_EQ(texte.substr(debut), POSITIONS + fin);
}

INSTANTIATE_TEST_SUITE_P(VollensNT, GeometrieVolume, testing::ValuesIn(casGeometries),
                         [](const testing::TestParamInfo<CasGeometrie>& i) {
                           return std::string(i.param.nom);
                         });

}  // namespace
#endif
