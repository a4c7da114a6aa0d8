// Raw disk transfers of the NT road on the simulated machine: the disk
// count, the limits and the alignment, positioned reads and writes compared
// with the image, refused requests, a failure midway and the -d dump, the
// same as the Linux transfers give for the same sectors.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/texte.h"
#include "images_motif.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/transferts.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/flux_rediriges.h"
#include "support/remplacement.h"

namespace {

HANDLE ouvrir(unsigned numero, DWORD acces = GENERIC_READ | GENERIC_WRITE) {
  char nom[32];
  snprintf(nom, sizeof nom, "\\\\.\\PHYSICALDRIVE%u", numero);
  return appelsWindows.CreateFileA(nom, acces, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0xB0000080, nullptr);
}

std::string sansCR(std::string texte) {
  std::string r;
  for (char c : texte)
    if (c != '\r') r += c;
  return r;
}

// The lines afficherSecteurs prints for one sector of the pattern.
std::string vidage(uint64_t k, uint32_t taille) {
  std::string attendu;
  for (uint32_t ligne = 0; ligne < taille / 16; ++ligne) {
    char texte[16];
    snprintf(texte, sizeof texte, "%08X: ", ligne * 16);
    attendu += texte;
    std::string caracteres;
    for (uint32_t i = 0; i < 16; ++i) {
      uint8_t o = motif(k, ligne * 16 + i);
      snprintf(texte, sizeof texte, "%02X ", o);
      attendu += texte;
      caracteres += (o >= 0x20 && o <= 0x7E) ? char(o) : '.';
    }
    attendu += caracteres + "\n";
  }
  return attendu;
}

class DisquesNT : public testing::Test {
 protected:
  void SetUp() override {
    oublierNombreDisques();
    initialiserTransferts();
  }
  void TearDown() override { oublierNombreDisques(); }
};

TEST_F(DisquesNT, CompteArreteAuPremierNumeroManquant) {
  const struct {
    const char* drives;
    unsigned attendu;
  } cas[] = {
      {"", 0},
      {"drive 1 d.img\n", 0},
      {"drive 0 d.img\ndrive 1 d.img\ndrive 3 d.img\n", 2},
      {"drive 0 d.img\ndrive 1 d.img\nfail CreateFileA \\\\.\\PHYSICALDRIVE1 ERROR_ACCESS_DENIED\n", 1},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 1 << 20);
    m.machine(std::string("windows xp\n") + c.drives);
    ASSERT_TRUE(m.installer()) << m.erreur();
    oublierNombreDisques();
    EXPECT_EQ(nombreDisques(), c.attendu) << c.drives;
    EXPECT_EQ(nombreDisques(), c.attendu) << c.drives;
    EXPECT_EQ(nomDisque(static_cast<uint8_t>(c.attendu)), nullptr);
    if (c.attendu > 0) {
      ASSERT_NE(nomDisque(0), nullptr);
      EXPECT_STREQ(nomDisque(0), "\\\\.\\PHYSICALDRIVE0");
    }
  }
}

int ouvertures = 0;
HANDLE WINAPI toutOuvrir(LPCSTR, DWORD acces, DWORD partage, LPSECURITY_ATTRIBUTES, DWORD creation,
                         DWORD drapeaux, HANDLE) {
  ++ouvertures;
  EXPECT_EQ(acces, 0u);
  EXPECT_EQ(partage, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(creation, DWORD(OPEN_EXISTING));
  EXPECT_EQ(drapeaux, 0x10000080u);
  return reinterpret_cast<HANDLE>(0x1234);
}
BOOL WINAPI fermerRien(HANDLE) { return TRUE; }

TEST_F(DisquesNT, AuPlus128Disques) {
  Remplacement<decltype(appelsWindows.CreateFileA)> ouverture(appelsWindows.CreateFileA, toutOuvrir);
  Remplacement<decltype(appelsWindows.CloseHandle)> fermeture(appelsWindows.CloseHandle, fermerRien);
  ouvertures = 0;
  EXPECT_EQ(nombreDisques(), 128);
  EXPECT_EQ(ouvertures, 128);
  EXPECT_STREQ(nomDisque(127), "\\\\.\\PHYSICALDRIVE127");
}

TEST_F(DisquesNT, SecteursParTransfert) {
  const struct {
    uint32_t taille, attendu;
  } cas[] = {{0, 1}, {512, 128}, {520, 126}, {4096, 16}, {32768, 2}, {65536, 1}, {0x80000000u, 1}};
  for (const auto& c : cas) EXPECT_EQ(nombreMaxSecteurs(c.taille), c.attendu) << c.taille;
  EXPECT_EQ(tailleMaxTransfert(), 0x10000u);
  EXPECT_EQ(tailleMaxSecteur(), 32768u);
}

TEST_F(DisquesNT, LectureEcriturecompareesALImage) {
  MachineTemporaire m;
  // 8 GiB: offsets beyond 32 bits must reach the image on both builds.
  const uint64_t loin = 0x200000000ULL / 512 - 3;
  imageMotif(m, "d.img", 0x200000000ULL, 512, {0, 1, 2, 200, loin, loin + 1, loin + 2});
  m.machine("windows 7\ndrive 0 d.img\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = ouvrir(0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  T_AccesDisque acces = {0, h};
  // One aligned buffer (handed to the system) and one off the alignment
  // (through the transfer buffer).
  std::vector<uint8_t> bloc(8 * 512 + 4096);
  uint8_t* aligne = bloc.data() + (4096 - reinterpret_cast<uintptr_t>(bloc.data()) % 4096) % 4096;
  for (uint8_t* tampon : {aligne, aligne + 3}) {
    EXPECT_TRUE(lireSecteursDisque(&acces, loin, 3, 512, tampon));
    EXPECT_EQ(std::vector<uint8_t>(tampon, tampon + 3 * 512), secteurs(loin, 3, 512));
    EXPECT_TRUE(lireSecteursSansTrace(&acces, 0, 3, 512, tampon));
    EXPECT_EQ(std::vector<uint8_t>(tampon, tampon + 3 * 512), secteurs(0, 3, 512));
  }
  auto donnees = secteurs(50, 2, 512);
  memcpy(aligne + 1, donnees.data(), donnees.size());
  uint8_t etat = 0;
  EXPECT_TRUE(ecrireSecteursDisque(&acces, 201, 2, 512, aligne + 1, &etat));
  memcpy(aligne, donnees.data(), donnees.size());
  EXPECT_TRUE(ecrireSecteursDisque(&acces, loin + 1, 1, 512, aligne, &etat));
  EXPECT_EQ(lireImage(m, "d.img", 200 * 512, 512), secteurs(200, 1, 512));
  EXPECT_EQ(lireImage(m, "d.img", 201 * 512, 1024), donnees);
  EXPECT_EQ(lireImage(m, "d.img", 203 * 512, 1), std::vector<uint8_t>(1, 0));
  EXPECT_EQ(lireImage(m, "d.img", (loin + 1) * 512, 512), secteurs(50, 1, 512));

  // Across the end: a short read fails with no system error; one sector
  // beyond it is zeroed.
  EXPECT_FALSE(lireSecteursDisque(&acces, loin + 2, 2, 512, aligne));
  EXPECT_EQ(appelsWindows.GetLastError(), 0u);
  memset(aligne, 0xAA, 512);
  EXPECT_FALSE(lireSecteursDisque(&acces, loin + 3, 1, 512, aligne));
  EXPECT_EQ(std::vector<uint8_t>(aligne, aligne + 512), std::vector<uint8_t>(512, 0));
  EXPECT_TRUE(appelsWindows.CloseHandle(h));
}

int positionnements = 0;
decltype(appelsWindows.SetFilePointer) positionnementSimule = nullptr;
DWORD WINAPI compterPositionnement(HANDLE h, LONG bas, PLONG haut, DWORD origine) {
  ++positionnements;
  return positionnementSimule(h, bas, haut, origine);
}

TEST_F(DisquesNT, RequetesRefuseesAvantToutAppel) {
  MachineTemporaire m;
  imageMotif(m, "d.img", 1 << 20, 512, {0});
  m.machine("windows 7\ndrive 0 d.img\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = ouvrir(0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  positionnementSimule = appelsWindows.SetFilePointer;
  Remplacement<decltype(appelsWindows.SetFilePointer)> seek(appelsWindows.SetFilePointer, compterPositionnement);
  positionnements = 0;
  std::vector<uint8_t> bloc(130 * 512 + 4096);
  uint8_t* aligne = bloc.data() + (4096 - reinterpret_cast<uintptr_t>(bloc.data()) % 4096) % 4096;
  const struct {
    HANDLE handle;
    uint64_t premier;
    uint32_t nombre;
    uint16_t taille;
    uint8_t* tampon;
  } cas[] = {
      {h, 0xFFFFFFFFFFFFFFFFULL / 512, 1, 512, aligne},   // the quotient itself
      {h, 0xFFFFFFFFFFFFFFFFULL / 512 - 1, 2, 512, aligne},  // the end does not fit
      {h, 0, 129, 512, aligne + 1},                       // misaligned beyond the limit
      {h, 0, 1, 0, aligne},
      {INVALID_HANDLE_VALUE, 0, 1, 512, aligne},
      {h, 0, 1, 512, nullptr},
  };
  for (const auto& c : cas) {
    appelsWindows.SetLastError(0);
    EXPECT_FALSE(lireSecteursPosition(c.handle, c.premier, c.nombre, c.taille, c.tampon)) << c.premier;
    EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << c.premier;
    appelsWindows.SetLastError(0);
    EXPECT_FALSE(ecrireSecteursPosition(c.handle, c.premier, c.nombre, c.taille, c.tampon)) << c.premier;
    EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << c.premier;
  }
  EXPECT_EQ(positionnements, 0);
  // An aligned buffer of 129 sectors goes to the system directly (and the
  // simulated disk takes it whole).
  EXPECT_TRUE(lireSecteursPosition(h, 0, 129, 512, aligne));
  EXPECT_EQ(positionnements, 1);
  EXPECT_EQ(std::vector<uint8_t>(aligne, aligne + 512), secteurs(0, 1, 512));

  // The simulated disk itself demands whole sectors at sector positions
  // from an aligned buffer, as a disk opened without buffering does.
  DWORD n = 0;
  EXPECT_FALSE(appelsWindows.ReadFile(h, aligne, 100, &n, nullptr));
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(appelsWindows.ReadFile(h, aligne + 1, 512, &n, nullptr));
  LONG haut = 0;
  EXPECT_EQ(appelsWindows.SetFilePointer(h, 100, &haut, FILE_BEGIN), 100u);
  EXPECT_FALSE(appelsWindows.ReadFile(h, aligne, 512, &n, nullptr));
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  appelsWindows.CloseHandle(h);
}

TEST_F(DisquesNT, LectureEchouantEnCoursDeRoute) {
  MachineTemporaire m;
  imageMotif(m, "d.img", 1 << 20, 512, {0, 1, 2, 3, 4, 5});
  m.machine("windows 7\ndrive 0 d.img\nfail ReadFile \\\\.\\physicaldrive0 ERROR_CRC after=2 count=2\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = ouvrir(0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  T_AccesDisque acces = {0, h};
  std::vector<uint8_t> tampon(2 * 512);
  EXPECT_TRUE(lireSecteursDisque(&acces, 0, 1, 512, tampon.data()));
  EXPECT_TRUE(lireSecteursDisque(&acces, 1, 1, 512, tampon.data()));
  // The third call fails: one sector comes back zeroed, two are left alone.
  EXPECT_FALSE(lireSecteursDisque(&acces, 2, 1, 512, tampon.data()));
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_CRC));
  EXPECT_EQ(std::vector<uint8_t>(tampon.begin(), tampon.begin() + 512), std::vector<uint8_t>(512, 0));
  std::vector<uint8_t> avant(tampon.size(), 0x5A);
  tampon = avant;
  EXPECT_FALSE(lireSecteursDisque(&acces, 2, 2, 512, tampon.data()));
  EXPECT_EQ(tampon, avant);
  EXPECT_TRUE(lireSecteursDisque(&acces, 2, 2, 512, tampon.data()));
  EXPECT_EQ(tampon, secteurs(2, 2, 512));
  appelsWindows.CloseHandle(h);
}

TEST_F(DisquesNT, VidageCommeSurLinux) {
  MachineTemporaire m;
  imageMotif(m, "d.img", 4 * 512, 512, {1});
  m.machine("windows 7\ndrive 0 d.img\nfail ReadFile * ERROR_CRC after=1 count=1\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = ouvrir(0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  T_AccesDisque acces = {0, h};
  Remplacement<bool> trace(vidageSecteurs, true);
  std::vector<uint8_t> tampon(512);
  SortieCapturee sortie;
  EXPECT_TRUE(lireSecteursDisque(&acces, 1, 1, 512, tampon.data()));
  EXPECT_FALSE(lireSecteursDisque(&acces, 2, 1, 512, tampon.data()));
  EXPECT_TRUE(lireSecteursSansTrace(&acces, 0, 1, 512, tampon.data()));
  EXPECT_EQ(sansCR(sortie.terminer()), "Reading 1 sectors from 1:\n" + vidage(1, 512) +
                                           "Reading 1 sectors from 2:\n"
                                           "Error reading sectors: error code 0x17\n");
  appelsWindows.CloseHandle(h);
}

// Alignment and byte limit after one disk, in a child each (the limits
// only grow): "alignment limit buffer-moved accepted".
std::string alignement(const std::string& machine, uint32_t tailleSecteur) {
  ResultatEnfant r = executerEnfant([machine, tailleSecteur] {
    MachineTemporaire m;
    m.image("d.img", 1 << 20);
    m.machine(machine);
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    initialiserTransferts();
    HANDLE h = ouvrir(0);
    std::vector<uint8_t> tampon(512);
    // A first read leaves the buffer in use; the adjustment must keep reads working.
    bool accepte = ajusterAlignementTransfert(h, tailleSecteur);
    T_AccesDisque acces = {0, h};
    bool lu = tailleSecteur != 512 || lireSecteursDisque(&acces, 0, 1, 512, tampon.data() + 1);
    afficherMessage("%u %u %d %d", alignementTransfert(), tailleMaxTransfert(), accepte, lu);
  });
  EXPECT_EQ(r.statut, 0);
  return r.sortie;
}

TEST(AlignementNT, SelonLesSecteursDuDisque) {
  const struct {
    const char* machine;
    uint32_t taille;
    const char* attendu;
  } cas[] = {
      {"windows 7\ndrive 0 d.img pssz=4096\n", 512, "4096 65536 1 1"},
      {"windows 7\ndrive 0 d.img pssz=3000\n", 512, "4096 65536 1 1"},
      {"windows 7\ndrive 0 d.img ssz=32768\n", 32768, "32768 65536 1 1"},
      {"windows 7\ndrive 0 d.img pssz=8192\n", 512, "8192 65536 1 1"},
      // Before Vista only the sector size counts.
      {"windows xp\ndrive 0 d.img pssz=8192\n", 512, "4096 65536 1 1"},
      {"windows 7\ndrive 0 d.img pssz=8192\nfail IOCTL_STORAGE_QUERY_PROPERTY * ERROR_NOT_SUPPORTED\n", 512,
       "4096 65536 1 1"},
      // A physical sector no disk may have: refused, nothing sized by it.
      {"windows 7\ndrive 0 d.img pssz=65536\n", 512, "4096 65536 0 1"},
      {"windows 7\ndrive 0 d.img\n", 65536, "4096 65536 0 1"},
  };
  for (const auto& c : cas) EXPECT_EQ(alignement(c.machine, c.taille), c.attendu) << c.machine;
}

}  // namespace
