// Windows disks: the geometry answers read at their published offsets and
// bounded by the bytes returned, the record built from them, and Disque::creer
// with Disque_Etendu on the simulated NT machine (read-only drives, refused
// sector sizes, transfers, descriptions, candidates, the layout update and
// the locks before and from XP).
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/options.h"
#include "images_motif.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/disque.h"
#include "platform/windows/lock_manager.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "sim/machine_windows.h"
#include "storage/support_bloc_manager.h"
#include "support/enfant.h"
#include "support/remplacement.h"

namespace {

// The offsets read by the layer are those of the published structures.
static_assert(offsetof(DISK_GEOMETRY_EX, DiskSize) == 24, "DiskSize");
static_assert(offsetof(DISK_GEOMETRY_EX, Data) == GEOMETRIE_EX_MINIMUM, "partition record");
static_assert(offsetof(DISK_DETECTION_INFO, Int13) == 8, "Int13");
static_assert(offsetof(DISK_DETECTION_INFO, ExInt13) == 24, "ExInt13");
static_assert(offsetof(DISK_INT13_INFO, MaxCylinders) == 4 && offsetof(DISK_INT13_INFO, MaxHeads) == 10,
              "DISK_INT13_INFO");
static_assert(offsetof(DISK_EX_INT13_INFO, ExSectorsPerDrive) == 16 &&
                  offsetof(DISK_EX_INT13_INFO, ExSectorSize) == 24,
              "DISK_EX_INT13_INFO");

// A geometry-ex answer as a driver writes it.
struct Reponse {
  uint8_t octets[632];
  Reponse(uint64_t cylindres, uint32_t tetes, uint32_t secteurs, uint32_t octetsParSecteur,
          uint64_t taille) {
    memset(octets, 0, sizeof octets);
    DISK_GEOMETRY_EX* g = reinterpret_cast<DISK_GEOMETRY_EX*>(octets);
    g->Geometry.Cylinders.QuadPart = static_cast<LONGLONG>(cylindres);
    g->Geometry.TracksPerCylinder = tetes;
    g->Geometry.SectorsPerTrack = secteurs;
    g->Geometry.BytesPerSector = octetsParSecteur;
    g->DiskSize.QuadPart = static_cast<LONGLONG>(taille);
    partition(sizeof(DISK_PARTITION_INFO));
  }
  void partition(uint32_t taille) { memcpy(octets + 32, &taille, 4); }
  DISK_DETECTION_INFO* detection() {
    uint32_t p;
    memcpy(&p, octets + 32, 4);
    return reinterpret_cast<DISK_DETECTION_INFO*>(octets + 32 + p);
  }
  uint64_t longueur() const { return 32 + sizeof(DISK_PARTITION_INFO) + sizeof(DISK_DETECTION_INFO); }
};

struct Attendu {
  bool accepte;
  uint64_t dernierCylindre, derniereTete, secteurs, taille, tailleSecteur;
};

void verifier(const T_InfoDisque& i, const Attendu& a, const char* cas) {
  if (!a.accepte) return;
  EXPECT_EQ(i.dernierCylindre.lire(), a.dernierCylindre) << cas;
  EXPECT_EQ(i.derniereTete.lire(), a.derniereTete) << cas;
  EXPECT_EQ(i.secteursParPiste.lire(), a.secteurs) << cas;
  EXPECT_EQ(i.nombreSecteurs.lire(), a.taille) << cas;
  EXPECT_EQ(i.tailleSecteur.lire(), a.tailleSecteur) << cas;
}

Attendu calculer(Reponse& r, uint64_t rendus, const T_GeometrieSysteme* simple, T_InfoDisque* info) {
  memset(info, 0, sizeof *info);
  T_ReponseGeometrieEx ex = analyserGeometrieEx(r.octets, rendus, sizeof r.octets);
  Attendu a = {calculerGeometrieDisque(&ex, simple, info), 0, 0, 0, 0, 0};
  return a;
}

TEST(GeometrieWindows, ReponsesDesDeuxCodes) {
  const uint64_t deuxTo = 2000398934016ULL;
  struct Cas {
    const char* nom;
    Reponse r;
    int detection;  // 0 none, 1 int13, 2 exint13
    Attendu attendu;
    uint32_t tailleExInt13 = 30;
  } cas[] = {
      // The BIOS of a 2 TB disk cannot count its cylinders: DiskSize gives the size.
      {"2 TB", Reponse(243201, 255, 63, 512, deuxTo), 0, {true, 1023, 254, 63, 3907029168ULL, 512}},
      {"int13 maxima", Reponse(1000, 255, 63, 512, 1000ULL * 255 * 63 * 512), 1,
       {true, 999, 254, 63, 1000ULL * 255 * 63, 512}},
      {"exint13 counts", Reponse(500, 16, 63, 512, 0), 2, {true, 499, 15, 63, 500ULL * 16 * 63, 512}},
      // Its counts (500 x 16 x 63) only from a record longer than 25 bytes.
      {"exint13 of 26 bytes", Reponse(1000, 255, 63, 512, 1000ULL * 255 * 63 * 512), 2,
       {true, 499, 15, 63, 1000ULL * 255 * 63, 512}, 26},
      {"exint13 of 25 bytes", Reponse(1000, 255, 63, 512, 1000ULL * 255 * 63 * 512), 2,
       {true, 999, 254, 63, 1000ULL * 255 * 63, 512}, 25},
      {"4096-byte sectors", Reponse(100, 255, 63, 4096, 100ULL * 255 * 63 * 4096), 0,
       {true, 99, 254, 63, 100ULL * 255 * 63, 4096}},
      {"520-byte sectors", Reponse(100, 255, 63, 520, 100ULL * 255 * 63 * 520), 0, {false, 0, 0, 0, 0, 0}},
      {"65536-byte sectors", Reponse(100, 255, 63, 65536, 100ULL * 255 * 63 * 65536), 0, {false, 0, 0, 0, 0, 0}},
      {"no geometry, no size", Reponse(0, 0, 0, 512, 0), 0, {false, 0, 0, 0, 0, 0}},
      // A count whose product leaves 64 bits gives no size by itself.
      {"product overflow", Reponse(0x4000000000000000ULL, 255, 63, 512, 1 << 20), 0,
       {true, 0, 254, 63, 2048, 512}},
  };
  for (Cas& c : cas) {
    if (c.detection == 1) {
      DISK_DETECTION_INFO* d = c.r.detection();
      d->SizeOfDetectInfo = sizeof *d;
      d->DetectionType = DetectInt13;
      d->Int13.MaxCylinders = 999;
      d->Int13.SectorsPerTrack = 63;
      d->Int13.MaxHeads = 254;
    } else if (c.detection == 2) {
      DISK_DETECTION_INFO* d = c.r.detection();
      d->SizeOfDetectInfo = sizeof *d;
      d->DetectionType = DetectExInt13;
      d->ExInt13.ExBufferSize = c.tailleExInt13;
      d->ExInt13.ExCylinders = 500;
      d->ExInt13.ExHeads = 16;
      d->ExInt13.ExSectorsPerTrack = 63;
      d->ExInt13.ExSectorSize = 512;
    }
    T_InfoDisque info;
    Attendu a = calculer(c.r, c.r.longueur(), nullptr, &info);
    EXPECT_EQ(a.accepte, c.attendu.accepte) << c.nom;
    verifier(info, c.attendu, c.nom);
  }
}

TEST(GeometrieWindows, ReponsesCourtesEtTaillesHostiles) {
  // The size is taken from every answer that holds the geometry and the size.
  for (uint64_t rendus : {32u, 33u, 40u, 41u, 100u}) {
    Reponse r(1000, 255, 63, 512, 2000ULL * 255 * 63 * 512);
    T_InfoDisque info;
    Attendu a = calculer(r, rendus, nullptr, &info);
    EXPECT_TRUE(a.accepte) << rendus;
    verifier(info, {true, 999, 254, 63, 2000ULL * 255 * 63, 512}, "short");
  }
  // Below 32 bytes the answer says nothing: the simple geometry alone.
  Reponse r(1000, 255, 63, 512, 2000ULL * 255 * 63 * 512);
  T_GeometrieSysteme simple = {20, 16, 32, 512};
  T_InfoDisque info;
  Attendu a = calculer(r, 31, &simple, &info);
  EXPECT_TRUE(a.accepte);
  verifier(info, {true, 19, 15, 32, 20 * 16 * 32, 512}, "31 bytes");

  // Record sizes that would wrap a 32-bit sum, or that point outside the
  // answer: the detection record is not read.
  for (uint32_t taillePartition : {0xFFFFFFF0u, 0xFFFFFFFFu, 600u}) {
    Reponse h(1000, 255, 63, 512, 0);
    h.partition(taillePartition);
    T_ReponseGeometrieEx ex = analyserGeometrieEx(h.octets, sizeof h.octets, sizeof h.octets);
    EXPECT_TRUE(ex.geometrieLue);
    EXPECT_FALSE(ex.detectionLue) << taillePartition;
  }
  Reponse d(1000, 255, 63, 512, 0);
  DISK_DETECTION_INFO* e = d.detection();
  e->SizeOfDetectInfo = 0xFFFFFFF0u;
  e->DetectionType = DetectExInt13;
  T_ReponseGeometrieEx ex = analyserGeometrieEx(d.octets, d.longueur(), sizeof d.octets);
  EXPECT_FALSE(ex.detectionLue);
  // A record too short for the fields of its type counts as no detection.
  e->SizeOfDetectInfo = 24;
  ex = analyserGeometrieEx(d.octets, d.longueur(), sizeof d.octets);
  EXPECT_TRUE(ex.detectionLue);
  EXPECT_EQ(ex.detection, DETECTION_AUCUNE);
  // A count above the buffer is bounded by the buffer.
  ex = analyserGeometrieEx(d.octets, 1u << 30, sizeof d.octets);
  EXPECT_TRUE(ex.geometrieLue);
}

// ---------------------------------------------------------------- on the machine

class DisquesWindows : public testing::Test {
 protected:
  void SetUp() override {
    oublierNombreDisques();
    initialiserTransferts();
    Disque::libererCacheGeometrie();
  }
  void TearDown() override {
    SupportBlocManager::releaseAll();
    Disque::libererCacheGeometrie();
    oublierNombreDisques();
  }
  Disque* creer(MachineTemporaire& m, const std::string& lignes) {
    m.machine(lignes);
    if (!m.installer()) {
      ADD_FAILURE() << m.erreur();
      return nullptr;
    }
    oublierNombreDisques();
    return Disque::creer(0);
  }
};

TEST_F(DisquesWindows, CreationEtRefus) {
  const struct {
    const char* drive;
    bool cree;
    bool modifiable;
    uint64_t secteurs;
    uint16_t tailleSecteur;
  } cas[] = {
      {"drive 0 d.img", true, true, 16384, 512},
      {"drive 0 d.img ro", true, false, 16384, 512},
      {"drive 0 d.img ssz=4096", true, true, 2048, 4096},
      {"drive 0 d.img ssz=520", false, false, 0, 0},
      {"drive 0 d.img ssz=65536", false, false, 0, 0},
      {"drive 0 d.img geo=none", false, false, 0, 0},
      {"drive 0 d.img pssz=65536", false, false, 0, 0},
      {"drive 0 d.img\nfail CreateFileA \\\\.\\PHYSICALDRIVE0 ERROR_ACCESS_DENIED", false, false, 0, 0},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    Disque* d = creer(m, std::string("windows 10\n") + c.drive + "\n");
    EXPECT_EQ(d != nullptr, c.cree) << c.drive;
    if (d) {
      EXPECT_EQ(d->estModifiable(), c.modifiable) << c.drive;
      EXPECT_EQ(d->nombreSecteurs(), c.secteurs) << c.drive;
      EXPECT_EQ(d->tailleSecteur(), c.tailleSecteur) << c.drive;
      EXPECT_EQ(d->acces(), ACCES_ETENDU);
      // A Windows disk carries no path of its own.
      EXPECT_EQ(d->chemins().count(), 0u) << c.drive;
      // Found again with one more reference.
      EXPECT_EQ(Disque::creer(0), d);
      d->liberer(0);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(DisquesWindows, LecturesEtDescription) {
  MachineTemporaire m;
  imageMotif(m, "d.img", 8 << 20, 512, {0, 1, 100, 16383});
  Disque* d = creer(m, "windows xp\ndrive 0 d.img\n");
  ASSERT_NE(d, nullptr);
  std::vector<uint8_t> s(512 * 2);
  ASSERT_TRUE(d->lireSecteurs(100, 1, s.data(), nullptr));
  for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(s[i], motif(100, i)) << i;
  EXPECT_TRUE(d->lireSecteurs(16383, 1, s.data(), nullptr));
  EXPECT_FALSE(d->lireSecteurs(16383, 2, s.data(), nullptr));
  char* texte = d->description(1);
  EXPECT_STREQ(texte, "Disk number 0 (8192.00 kB, extended access)");
  free(texte);
  // On XP a disk without volumes locks nothing and opens.
  EXPECT_EQ(d->ouvrir(), nullptr);
  d->fermer();
}

// The volumes that lie on the disk become its paths, and are locked while
// it is open; one refusal leaves none locked.
TEST_F(DisquesWindows, VolumesDuDisqueVerrouilles) {
  for (bool occupe : {false, true}) {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    OptionsTablens options(false, false, 0, 0, 0, 0, 0);
    Disque* d = creer(m, std::string("windows xp\ndrive 0 d.img\nvolume E 0 0 8M") + (occupe ? " busy" : "") +
                             "\nvolume F 0 0 1M\n");
    ASSERT_NE(d, nullptr);
    EXPECT_NE(d->chemins().find("E:", 0), d->chemins().count());
    EXPECT_NE(d->chemins().find("F:", 0), d->chemins().count());
    const char* refus = d->ouvrir();
    if (occupe) {
      EXPECT_EQ(refus, MESSAGE_ECHEC_VERROU);
      EXPECT_EQ(LockManager::volumeLocks().count(), 0u);
    } else {
      EXPECT_EQ(refus, nullptr);
      EXPECT_EQ(LockManager::volumeLocks().count(), 2u);
      d->fermer();
    }
    EXPECT_EQ(LockManager::volumeLocks().count(), 0u);
    d->liberer(0);
    TearDown();
    SetUp();
  }
}

TEST_F(DisquesWindows, CandidatsDeGeometrie) {
  const struct {
    const char* drive;
    std::vector<std::vector<int>> attendus;  // {origin, sectors, heads} of origins 1 and 2
  } cas[] = {
      {"drive 0 d.img geo=2/255/63 detect=int13", {{1, 63, 255}, {2, 63, 255}}},
      {"drive 0 d.img geo=100/16/32 detect=exint13", {{1, 32, 16}, {2, 32, 16}}},
      // BIOS maxima out of range: the answer is not used, nor is the plain
      // geometry with them.
      {"drive 0 d.img geo=100/16/64 detect=int13", {}},
      {"drive 0 d.img geo=100/300/32 detect=int13", {}},
      {"drive 0 d.img geo=100/16/32", {{1, 32, 16}, {2, 32, 16}}},
      {"drive 0 d.img geo=100/16/32\nfail IOCTL_DISK_GET_DRIVE_GEOMETRY_EX * ERROR_INVALID_FUNCTION",
       {{1, 32, 16}}},
      {"drive 0 d.img geo=100/16/32 detect=int13\nfail IOCTL_DISK_GET_DRIVE_GEOMETRY * "
       "ERROR_INVALID_FUNCTION after=1",
       {{1, 32, 16}}},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    Disque* d = creer(m, std::string("windows 10\n") + c.drive + "\n");
    ASSERT_NE(d, nullptr) << c.drive;
    BasicArray<Support_Bloc::T_HeadsSectorsNumber, Support_Bloc::T_HeadsSectorsNumber const> g =
        d->geometriesPossibles();
    std::vector<std::vector<int>> vus;
    for (size_t i = 0; i < g.count(); ++i)
      if (g[i].origine == 1 || g[i].origine == 2) vus.push_back({g[i].origine, g[i].secteurs, g[i].tetes});
    EXPECT_EQ(vus, c.attendus) << c.drive;
    d->liberer(0);
    TearDown();
    SetUp();
  }
}

int misesAJour = 0;
BOOL WINAPI compterMisesAJour(HANDLE h, DWORD code, LPVOID e, DWORD te, LPVOID s, DWORD ts, LPDWORD r,
                              LPOVERLAPPED o);
T_AppelsWindows* appelsOrigine = nullptr;
BOOL WINAPI compterMisesAJour(HANDLE h, DWORD code, LPVOID e, DWORD te, LPVOID s, DWORD ts, LPDWORD r,
                              LPOVERLAPPED o) {
  if (code == IOCTL_MISE_A_JOUR_PROPRIETES) ++misesAJour;
  return appelsOrigine->DeviceIoControl(h, code, e, te, s, ts, r, o);
}

// Per version (a child each, the version being asked once per run): the
// layout updates after retirerDuCache and the answer of ouvrir.
std::string selonVersion(const char* version) {
  std::string lignes = std::string("windows ") + version + "\ndrive 0 d.img\n";
  ResultatEnfant r = executerEnfant([lignes] {
    MachineTemporaire m;
    m.image("d.img", 8 << 20);
    m.machine(lignes);
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    initialiserTransferts();
    oublierNombreDisques();
    T_AppelsWindows origine = appelsWindows;
    appelsOrigine = &origine;
    Remplacement<decltype(appelsWindows.DeviceIoControl)> compte(appelsWindows.DeviceIoControl,
                                                                compterMisesAJour);
    Disque* d = Disque::creer(0);
    if (!d) {
      afficherMessage("no disk");
      return;
    }
    const char* refus = d->ouvrir();
    afficherMessage("%s|", refus ? refus : "locked");
    d->fermer();
    d->retirerDuCache();
    d->liberer(0);
    SupportBlocManager::releaseAll();
    afficherMessage("%d", misesAJour);
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  return r.sortie;
}

TEST(DisquesWindowsVersions, MiseAJourEtVerrousDepuisXP) {
  EXPECT_EQ(selonVersion("xp"), "locked|1");
  std::string avant = selonVersion("2000");
  EXPECT_EQ(avant.substr(0, 72), "Program cannot lock support access to avoid other program accessing it.\n");
  EXPECT_EQ(avant.substr(avant.size() - 2), "|0");
}

// The 9x road (under `windows 98`): the BIOS decides between CHS
// and extended access. A child per case: the family is asked once per run.
std::string neufX(const std::string& lignes, uint64_t octets, bool accesStandard) {
  ResultatEnfant r = executerEnfant([lignes, octets, accesStandard] {
    MachineTemporaire m;
    m.image("d.img", octets);
    m.machine("windows 98\n" + lignes);
    if (!m.installer()) return;
    ouvrirVwin32();
    initialiserTransferts();
    OptionsTablens* options = accesStandard ? new OptionsTablens(true, false, 0, 0, 0, 0, 0) : nullptr;
    Disque* d = Disque::creer(0);
    if (!d) {
      afficherMessage("none");
    } else {
      afficherMessage("%s %u %llu", dynamic_cast<Disque_Standard*>(d) ? "standard" : "extended",
                      static_cast<unsigned>(d->tailleSecteur()),
                      static_cast<unsigned long long>(d->nombreSecteurs()));
      // On 9x the disk count is 0: no transfer is ever made.
      uint8_t s[512];
      afficherMessage(" %d", d->lireSecteurs(0, 1, s, nullptr));
    }
    SupportBlocManager::releaseAll();
    delete options;
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  return r.sortie;
}

TEST(DisquesWindows9x, AccesStandardOuEtendu) {
  const uint64_t limite = 1024ULL * 255 * 63;  // what CHS reaches
  EXPECT_EQ(neufX("drive 0 d.img geo=1024/255/63\n", limite * 512, true), "standard 512 16450560 0");
  EXPECT_EQ(neufX("drive 0 d.img geo=1025/255/63\n", (limite + 1) * 512, true),
            "extended 512 16450561 0");
  EXPECT_EQ(neufX("drive 0 d.img geo=1024/255/63\n", limite * 512, false), "extended 512 16450560 0");
  // A CHS-only BIOS gives a standard disk; one that reports no drive, none.
  EXPECT_EQ(neufX("drive 0 d.img geo=100/16/63 noext\n", 100ULL * 16 * 63 * 512, false),
            "standard 512 100800 0");
  EXPECT_EQ(neufX("drive 0 d.img\nfail INT13_08 0x80 1\n", 1 << 20, false), "none");
  EXPECT_EQ(neufX("drive 0 d.img geo=100/16/63 ssz=4096\n", 100ULL * 16 * 63 * 4096, false),
            "extended 4096 100800 0");
}

}  // namespace
