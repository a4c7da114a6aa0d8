// platlens' NT questions on hostile replies of the extended drive-geometry
// code: every size field of the reply is checked against its length before
// an offset is read (64-bit sums), whatever the field holds.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/vwin32.h"
#include "programs/platlens/platlens.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

std::vector<uint8_t> reponseEtendue;

BOOL WINAPI faussesReponses(HANDLE, DWORD code, LPVOID, DWORD, LPVOID sortie, DWORD taille,
                            LPDWORD rendus, LPOVERLAPPED) {
  if (code != IOCTL_DISK_GET_DRIVE_GEOMETRY_EX || reponseEtendue.size() > taille) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  memcpy(sortie, reponseEtendue.data(), reponseEtendue.size());
  *rendus = static_cast<DWORD>(reponseEtendue.size());
  return TRUE;
}

HANDLE WINAPI fauxDisque(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x4C00));
}
BOOL WINAPI fausseFermeture(HANDLE) { return TRUE; }

void mot32(std::vector<uint8_t>* r, size_t position, uint32_t valeur) {
  memcpy(r->data() + position, &valeur, sizeof valeur);
}

// 8 x 255 x 63 sectors of 512 bytes, 64 MiB, then the two records' fields.
std::vector<uint8_t> reponse(size_t longueur, uint32_t tailleInfoPartition, uint32_t style,
                             uint32_t tailleDetection, uint32_t typeDetection) {
  std::vector<uint8_t> r(longueur < 80 ? 80 : longueur, 0);
  DISK_GEOMETRY g = {};
  g.Cylinders.QuadPart = 8;
  g.MediaType = FixedMedia;
  g.TracksPerCylinder = 255;
  g.SectorsPerTrack = 63;
  g.BytesPerSector = 512;
  memcpy(r.data(), &g, sizeof g);
  uint64_t taille = 64ull << 20;
  memcpy(r.data() + 24, &taille, sizeof taille);
  mot32(&r, 32, tailleInfoPartition);
  mot32(&r, 36, style);
  if (tailleInfoPartition == 24) {
    mot32(&r, 56, tailleDetection);
    mot32(&r, 60, typeDetection);
  }
  r.resize(longueur);
  return r;
}

struct CasReponse {
  const char* nom;
  std::vector<uint8_t> reponse;
  const char* debut;  // the report up to the extended standard definitions
};

void PrintTo(const CasReponse& c, std::ostream* flux) { *flux << c.nom; }

const char* const DEFINITIONS =
    "  Standard definitions with extended function:\n  Number of cylinders: 8\n"
    "            heads    : 255\n            sectors  : 63\n  Size of sectors    : 512\n"
    "          disk       : 131072 sectors - 64.00 MB\n  Type of media      : 12\n";

const CasReponse casReponses[] = {
    {"trop_courte", reponse(39, 0, 0, 0, 0),
     "Error: extended function returns a wrong size (39 <= 40).\n"},
    {"sans_style", reponse(40, 24, 0, 0, 0),
     "Error: extended function does not return enough data to get partition style\n"
     "and detection information.\n"},
    {"info_partition_demesuree", reponse(632, 0xFFFFFFF0u, 1, 0, 0),
     "  Disk uses GPT style partition.\n"
     "Error: extended function does not return enough data to get detection\n"
     "information (632 <= 4294967320).\n"},
    {"detection_demesuree", reponse(100, 24, 2, 0xFFFFFFFFu, 1),
     "  Disk uses raw style partition.\n"
     "Error: extended function does not return enough data to get content of\n"
     "detection information (100 < 4294967351).\n"},
    {"style_inconnu_detection_sans_contenu", reponse(64, 24, 7, 8, 3),
     "Error: disk uses an unknown style partition (7).\n"
     "Error: extended function does not return enough data to get detection\n"
     "information (64 <= 64).\n"},
    // The record says 8 bytes: its BIOS part is outside the reply and reads 0.
    {"detection_bios_hors_reponse", reponse(66, 24, 0, 8, 2),
     "  Disk uses MBR style partition.\n  Information for extended BIOS access:\n"
     "Error: wrong information size returned (0 < 26) (ignored)\n"
     "    Information size   : 0\n    Information flags  : 0x0\n"
     "    Number of cylinders: 0\n              heads    : 0\n              sectors  : 0\n"
     "    Size of sectors    : 0\n            disk       : 0 sectors - 0.00 MB\n"},
};

class ReponseEtendue : public testing::TestWithParam<CasReponse> {};

TEST_P(ReponseEtendue, BorneeParSaLongueur) {
  const CasReponse& c = GetParam();
  reponseEtendue = c.reponse;
  Remplacement<decltype(appelsWindows.CreateFileA)> ouverture(appelsWindows.CreateFileA,
                                                              fauxDisque);
  Remplacement<decltype(appelsWindows.DeviceIoControl)> controle(appelsWindows.DeviceIoControl,
                                                                 faussesReponses);
  Remplacement<decltype(appelsWindows.CloseHandle)> fermeture(appelsWindows.CloseHandle,
                                                              fausseFermeture);
  SortieCapturee sortie;
  detecterDisque(0);
  std::string texte = sortie.terminer();
  std::string attendu = std::string(":\nTrying to use extended function:\n") + c.debut;
  if (c.reponse.size() >= 40) attendu += DEFINITIONS;
  attendu +=
      "Trying to use standard function:\nError asking parameters with standard function:\n"
      "Error number: 1.\n";
  EXPECT_EQ(texte.substr(0, attendu.size()), attendu);
}

INSTANTIATE_TEST_SUITE_P(PlatlensNT, ReponseEtendue, testing::ValuesIn(casReponses),
                         [](const testing::TestParamInfo<CasReponse>& i) {
                           return std::string(i.param.nom);
                         });

// The 9x road through the BIOS of a simulated Windows 98 (a child: the
// device's exit function stays there). Disk 0 has the extensions, disk 1
// has none, disk 2 is absent. AH=15h leaves the sector count in DX, so the
// next calls find their drive only because DL is set again.
struct CasBios {
  const char* nom;
  uint8_t disque;
  const char* sortie;
};

void PrintTo(const CasBios& c, std::ostream* flux) { *flux << c.nom; }

const CasBios casBios[] = {
    {"avec_extensions", 0,
     ":\nDisk with extended access (version 0x21, functions 0x1)\n"
     "Information size   : 26\nInformation flags  : 0x2\nNumber of cylinders: 8\n"
     "          heads    : 255\n          sectors  : 63\nSize of sectors    : 512\n"
     "        disk       : 131072 sectors - 64.00 MB\n"
     "Getting parameters with standard access:\n"
     "Last cylinder: 7\n     head    : 254\n     sector  : 63\n"},
    {"sans_extensions", 1,
     ":\nDisk with standard access.\nGetting parameters with standard access:\n"
     "Last cylinder: 7\n     head    : 254\n     sector  : 63\n"},
    {"disque_absent", 2,
     ":\nDisk not recognised (0x1 - 0x82) (ignored)\n"
     "Disk not declared as hard-disk (0x1 - 0x1) (ignored)\n"
     "Disk with standard access.\nGetting parameters with standard access:\n"
     "Error asking parameters with standard access (1).\n"},
};

class Bios9x : public testing::TestWithParam<CasBios> {};

TEST_P(Bios9x, Questions) {
  const CasBios& c = GetParam();
  uint8_t disque = c.disque;
  ResultatEnfant r = executerEnfant([disque] {
    MachineTemporaire m;
    m.image("d.img", 64 << 20);
    m.machine("windows 98\ndrive 0 d.img\ndrive 1 d.img noext\n");
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    ouvrirVwin32();
    detecterDisque(disque);
  });
  EXPECT_EQ(r.statut, 0);
  EXPECT_EQ(r.sortie, c.sortie);
}

INSTANTIATE_TEST_SUITE_P(Platlens9x, Bios9x, testing::ValuesIn(casBios),
                         [](const testing::TestParamInfo<CasBios>& i) {
                           return std::string(i.param.nom);
                         });

}  // namespace
#endif
