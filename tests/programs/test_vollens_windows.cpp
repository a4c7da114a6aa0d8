// vollens' NT checks on the geometry a volume reports: the sector size, the
// media type, the heads and sectors per track, and which of the two
// geometry answers is kept. The simulated volume answers the rest. Then
// the 9x road over the DOS calls of a simulated Windows 98.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/format.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/vwin32.h"
#include "programs/vollens/windows/detection.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
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

// A field of the boot sector's parameter block, at its offset in the sector.
struct Champ {
  uint16_t position;
  uint8_t largeur;
  uint32_t valeur;
};

struct Cas9x {
  const char* nom;
  char lettre;
  const char* machine;        // lines after drive 0 and the fixed FAT16 volume C
  std::vector<Champ> champs;  // written over C's boot sector
  uint8_t carte;              // AL of every 440Eh answer; 0: the machine's
  int32_t dx;                 // DX of every 4409h answer; -1: the machine's
  std::string avant;          // the report up to the parameter lines
  const char* bloc;           // the parameter lines; null: not compared; "": none, and
                              // avant is the whole report
  const char* apres;          // after them: the checks and the locks still held
};

void PrintTo(const Cas9x& c, std::ostream* flux) { *flux << c.nom; }

const Cas9x* cas9x = nullptr;

BOOL WINAPI registresForces(HANDLE h, DWORD code, LPVOID entree, DWORD tailleEntree,
                            LPVOID sortie, DWORD tailleSortie, LPDWORD rendus, LPOVERLAPPED o) {
  uint16_t ax = static_cast<uint16_t>(static_cast<DIOC_REGISTERS*>(entree)->reg_EAX);
  if (!controleMachine(h, code, entree, tailleEntree, sortie, tailleSortie, rendus, o))
    return FALSE;
  DIOC_REGISTERS* r = static_cast<DIOC_REGISTERS*>(sortie);
  if (code != VWIN32_DIOC_DOS_IOCTL || (r->reg_Flags & DRAPEAU_RETENUE) != 0) return TRUE;
  if (ax == 0x440E && cas9x->carte != 0) r->reg_EAX = (r->reg_EAX & ~0xFFu) | cas9x->carte;
  if (ax == 0x4409 && cas9x->dx >= 0) r->reg_EDX = static_cast<uint32_t>(cas9x->dx);
  return TRUE;
}

// A FAT16 file system of 32768 sectors, as a formatter would lay it out.
const std::vector<Champ> FAT16 = {
    {0x0B, 2, 512}, {0x0D, 1, 4},      {0x0E, 2, 4},  {0x10, 1, 2},   {0x11, 2, 512},
    {0x13, 2, 32768}, {0x15, 1, 0xF8}, {0x16, 2, 32}, {0x18, 2, 63},  {0x1A, 2, 255},
    {0x1C, 4, 2048}, {0x20, 4, 0},     {0x1FE, 2, 0xAA55}};

void ecrireChamps(std::fstream* f, uint64_t secteur, const std::vector<Champ>& champs) {
  for (const Champ& c : champs) {
    char octets[4];
    for (int i = 0; i < c.largeur; ++i) octets[i] = static_cast<char>(c.valeur >> (8 * i));
    f->seekp(static_cast<std::streamoff>(secteur + c.position));
    f->write(octets, c.largeur);
  }
}

const char* const PARAMETRES_FAT16 =
    "  Number of cylinders          : 2\n            heads              : 255\n"
    "            sectors            : 63\n  Size of sectors              : 512\n"
    "          device               : 32768 sectors - 16.00 MB\n"
    "  Type of media                : 0xf8\n  First sector                 : 2048 sectors\n"
    "  Number of sectors per cluster: 4\n  Number of reserved sectors   : 4\n"
    "  Number of FAT                : 2\n  Number of sectors per FAT    : 32\n"
    "  Number of root entries       : 512\n";
const char* const FAT32_D_ABORD = "Try with using FAT32 function:\n";
// DOS error 15, an unknown letter.
#define LETTRE_INCONNUE "Error number: 15.\nError message: invalid drive (0x000f).\n"

const Cas9x casNeufX[] = {
    {"fat16_sans_remarque", 'C', "", {}, 0, -1, FAT32_D_ABORD, PARAMETRES_FAT16, "[0]"},
    // The letter that owns the drive comes before C: this letter ends here.
    {"remappee_vers_a", 'C', "", {}, 1, -1, "Drive remapped to A.\n[0]", "", ""},
    {"carte_sur_elle_meme", 'C', "", {}, 3, -1, FAT32_D_ABORD, PARAMETRES_FAT16, "[0]"},
    {"carte_refusee", 'C', "fail INT21_440E C 0x1F\n", {}, 0, -1,
     "Cannot test for remapped drive (ignored):\nError number: 31.\n"
     "Error message: general failure.\nTry with using FAT32 function:\n",
     PARAMETRES_FAT16, "[0]"},
    {"lettre_absente", 'Q', "", {}, 0, -1,
     "Cannot test for remapped drive (ignored):\n" LETTRE_INCONNUE
     "No root directory on drive (ignored).\nCannot determine type of drive:\n" LETTRE_INCONNUE
     "[0]",
     "", ""},
    // No parameter block on the CD: its checks are not compared.
    {"cd", 'K', "volume K 0 30M 8M type=cdrom\n", {}, 0, -1,
     "Drive is a CD drive.\nTry with using FAT32 function:\n", nullptr, nullptr},
    {"amovible", 'R', "volume R 0 20M 8M type=removable\n", {}, 0, -1,
     "Drive is removable.\nTry with using FAT32 function:\n", nullptr, nullptr},
    // A map that names the letter itself: still removable, not remapped.
    {"amovible_carte_sur_elle_meme", 'R', "volume R 0 20M 8M type=removable\n", {}, 18, -1,
     "Drive is removable.\nTry with using FAT32 function:\n", nullptr, nullptr},
    {"type_indetermine", 'C', "fail GetDriveTypeA C:\\ 0\n", {}, 0, -1,
     "Drive type cannot be determined (ignored).\nTry with using FAT32 function:\n",
     PARAMETRES_FAT16, "[0]"},
    {"distant", 'N', "volume N 0 30M 8M type=remote\n", {}, 0, -1, "Drive is remote.\n[0]", "",
     ""},
    {"substitue", 'C', "", {}, 0, 0x8000, "Drive is substituted.\n[0]", "", ""},
    {"substitue_et_distant", 'C', "", {}, 0, 0x9000, "Drive is substituted and remote.\n[0]", "",
     ""},
    {"type_refuse", 'C', "fail INT21_4409 C 0x15\n", {}, 0, -1,
     "Cannot determine type of drive:\nError number: 21.\nError message: drive not ready.\n[0]",
     "", ""},
    {"verrou_refuse_fichiers_ouverts", 'D', "volume D 0 20M 8M busy\n", {}, 0, -1,
     std::string(MESSAGE_ECHEC_VERROU) + "\nError number: 5.\nError message: access denied.\n"
     "List of opened files:\nD:\\WIN386.SWP\n[0]",
     "", ""},
    {"fat32_refusee_puis_fat16", 'C', "fail INT21_440D_60 C 0x1F count=1\n", {}, 0, -1,
     "Try with using FAT32 function:\nCannot get information:\nError number: 31.\n"
     "Error message: general failure.\nTry with using FAT12/FAT16 function:\n",
     PARAMETRES_FAT16, "[0]"},
    // Neither answers: no lines, no checks, the lock given back.
    {"parametres_refuses", 'C', "fail INT21_440D_60 C 0x1F\n", {}, 0, -1,
     "Try with using FAT32 function:\nCannot get information:\nError number: 31.\n"
     "Error message: general failure.\nTry with using FAT12/FAT16 function:\n"
     "Cannot get information:\nError number: 31.\nError message: general failure.\n[0]",
     "", ""},
    // The root-directory sectors are counted without dividing by 0.
    {"zero_octet_par_secteur", 'C', "", {{0x0B, 2, 0}}, 0, -1, FAT32_D_ABORD, nullptr,
     "Not supported sector size.\n[0]"},
    {"aucune_tete_acceptee", 'C', "", {{0x1A, 2, 0}}, 0, -1, FAT32_D_ABORD, nullptr, "[0]"},
    {"256_tetes", 'C', "", {{0x1A, 2, 256}}, 0, -1, FAT32_D_ABORD, nullptr,
     "Invalid number of heads.\n[0]"},
    {"toutes_les_verifications", 'C', "",
     {{0x0B, 2, 520}, {0x0D, 1, 3}, {0x0E, 2, 0}, {0x10, 1, 0}, {0x13, 2, 1}, {0x15, 1, 0xEF},
      {0x16, 2, 0}, {0x18, 2, 64}, {0x1A, 2, 300}, {0x20, 4, 2}, {0x24, 4, 0}},
     0, -1, FAT32_D_ABORD, nullptr,
     "Not supported sector size.\nInvalid number of sectors per track.\n"
     "Invalid number of heads.\nInvalid number of sectors per cluster.\n"
     "Invalid number of reserved sectors.\nInvalid number of FAT.\n"
     "Not supported media type.\nInvalid number of sectors per FAT.\n"
     "Incompatible number of sectors (16 bits: 1 - 32 bits: 2).\n"
     "Invalid definition for number of sectors.\n[0]"},
    // FAT32 fields whose products leave 32 bits: 32768 x (2^32 - 1) bytes,
    // and 255 FATs of 0x01010102 sectors (254 in 32 bits) that exceed the
    // volume.
    {"fat32_au_dela_de_32_bits", 'C', "",
     {{0x0B, 2, 32768}, {0x0D, 1, 1}, {0x10, 1, 255}, {0x11, 2, 0}, {0x13, 2, 0}, {0x16, 2, 0},
      {0x20, 4, 0xFFFFFFFFu}, {0x24, 4, 0x01010102u}},
     0, -1, FAT32_D_ABORD,
     "  Number of cylinders          : 2\n            heads              : 255\n"
     "            sectors            : 63\n  Size of sectors              : 32768\n"
     "          device               : 4294967295 sectors - 134217727.97 MB\n"
     "  Type of media                : 0xf8\n  First sector                 : 2048 sectors\n"
     "  Number of sectors per cluster: 1\n  Number of reserved sectors   : 4\n"
     "  Number of FAT                : 255\n  Number of sectors per FAT    : 16843010\n"
     "  Number of root entries       : 0\n",
     "Invalid definition for number of sectors.\n[0]"},
};

class Vollens9x : public testing::TestWithParam<Cas9x> {};

// In a child per machine: the family is asked once per run and the
// device's exit function stays there.
TEST_P(Vollens9x, Detection) {
  const Cas9x* c = &GetParam();
  ResultatEnfant r = executerEnfant([c] {
    MachineTemporaire m;
    m.image("d.img", 64 << 20);
    {
      std::fstream f(m.chemin("d.img"), std::ios::in | std::ios::out | std::ios::binary);
      ecrireChamps(&f, 1 << 20, FAT16);
      ecrireChamps(&f, 1 << 20, c->champs);
    }
    m.machine(std::string("windows 98\ndrive 0 d.img\nvolume C 0 1M 16M fs=FAT16\n") + c->machine);
    if (!m.installer()) {
      afficherMessage("machine: %s\n", m.erreur().c_str());
      return;
    }
    ouvrirVwin32();
    cas9x = c;
    controleMachine = appelsWindows.DeviceIoControl;
    Remplacement<decltype(appelsWindows.DeviceIoControl)> r(appelsWindows.DeviceIoControl,
                                                            registresForces);
    detecterLecteur9x(c->lettre);
    afficherMessage("[%u]", static_cast<unsigned>(LockManager::volumeLocks().count()));
  });
  EXPECT_EQ(r.statut, 0);
  const std::string debut = "  Number of cylinders  ";
  const std::string dernier = "  Number of root entries       : ";
  size_t bloc = r.sortie.find(debut);
  size_t fin = r.sortie.find('\n', r.sortie.find(dernier));
  if (c->bloc != nullptr && c->bloc[0] == '\0') {
    EXPECT_EQ(r.sortie, c->avant);
    return;
  }
  ASSERT_NE(bloc, std::string::npos) << r.sortie;
  ASSERT_NE(fin, std::string::npos) << r.sortie;
  EXPECT_EQ(r.sortie.substr(0, bloc), c->avant);
  if (c->bloc != nullptr) {
    EXPECT_EQ(r.sortie.substr(bloc, fin + 1 - bloc), c->bloc);
  }
  if (c->apres != nullptr) {
    EXPECT_EQ(r.sortie.substr(fin + 1), c->apres);
  }
}

INSTANTIATE_TEST_SUITE_P(Vollens9x, Vollens9x, testing::ValuesIn(casNeufX),
                         [](const testing::TestParamInfo<Cas9x>& i) {
                           return std::string(i.param.nom);
                         });

}  // namespace
#endif
