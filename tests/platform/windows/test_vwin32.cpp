// The VWIN32 gateway and the BIOS and DOS calls: the control codes, the NT
// family where nothing reaches the device, and the 9x road over the
// simulated BIOS (extended and CHS-only drives, retries, the write verify
// rules, the DOS forms over the volumes).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/format.h"
#include "core/texte.h"
#include "images_motif.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "sim/machine_windows.h"
#include "support/enfant.h"
#include "support/remplacement.h"

namespace {

TEST(Vwin32, CodesDeControle) {
  const struct {
    int interruption;
    uint32_t eax;
    DWORD code;
  } cas[] = {
      {0x13, 0x4200, 4},  {0x13, 0xFFFFFFFF, 4}, {0x21, 0x4400, 1},  {0x21, 0x4409, 1},
      {0x21, 0x4411, 1},  {0x21, 0x4412, 0},     {0x21, 0x14409, 0}, {0x21, 0x7300, 6},
      {0x21, 0x7303, 6},  {0x21, 0x730F, 6},     {0x21, 0x7310, 0},  {0x21, 0x3D00, 0},
      {0x25, 0, 2},       {0x26, 0, 3},          {0x10, 0, 0},       {0x2F, 0, 0},
  };
  for (const auto& c : cas)
    EXPECT_EQ(codeControleVwin32(c.interruption, c.eax), c.code) << c.interruption << " " << c.eax;
}

int ouvertures = 0, controles = 0;
HANDLE WINAPI ouvrirAetB(LPCSTR nom, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  ++ouvertures;
  std::string n = nom;
  if (n == "\\\\.\\A:" || (n == "\\\\.\\B:" && controles > 0)) return reinterpret_cast<HANDLE>(0x44);
  return INVALID_HANDLE_VALUE;
}
BOOL WINAPI fermerRien(HANDLE) { return TRUE; }
BOOL WINAPI compterControle(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  ++controles;
  return FALSE;
}

// On the NT family no routine reaches the device, and the gateway is fatal.
TEST(Vwin32, FamilleNTSansPeripherique) {
  Remplacement<decltype(appelsWindows.CreateFileA)> ouverture(appelsWindows.CreateFileA, ouvrirAetB);
  Remplacement<decltype(appelsWindows.CloseHandle)> fermeture(appelsWindows.CloseHandle, fermerRien);
  Remplacement<decltype(appelsWindows.DeviceIoControl)> controle(appelsWindows.DeviceIoControl, compterControle);
  ouvertures = controles = 0;
  ouvrirVwin32();
  EXPECT_EQ(ouvertures, 0);
  T_AccesDisque acces = {0x80, nullptr};
  reinitialiserLecteur(&acces);
  T_CHS position = {0, 1, 0};
  std::vector<uint8_t> tampon(512, 0xAA);
  EXPECT_FALSE(lireSecteursDisquette(&acces, &position, 1, 512, tampon.data()));
  EXPECT_EQ(tampon, std::vector<uint8_t>(512, 0));
  EXPECT_FALSE(lireSecteursDisquetteSansTrace(&acces, &position, 1, 512, tampon.data()));
  EXPECT_FALSE(ecrireSecteursDisquette(&acces, &position, 1, 512, tampon.data()));
  EXPECT_EQ(controles, 0);
  // Floppies on NT: the letters that open before the first that does not.
  oublierNombreDisquettes();
  EXPECT_EQ(compterDisquettes(), 1);
  controles = 1;
  EXPECT_EQ(compterDisquettes(), 1);  // computed once
  oublierNombreDisquettes();
  EXPECT_EQ(compterDisquettes(), 2);
  oublierNombreDisquettes();

  ResultatEnfant r = executerEnfant([] {
    DIOC_REGISTERS registres;
    memset(&registres, 0, sizeof registres);
    registres.reg_EAX = 0x0800;
    appelerInterruption(0x13, &registres);
  });
  EXPECT_EQ(r.statut, 1);
  EXPECT_EQ(r.sortie.rfind("Error: Error when calling interruption with WIN32 interface.", 0), 0u)
      << r.sortie;
}

// A 9x run in a child: the machine, the device and the limits, then the body.
std::string neufX(const std::string& lignes, const std::function<void(MachineTemporaire&)>& corps) {
  ResultatEnfant r = executerEnfant([lignes, corps] {
    MachineTemporaire m;
    imageMotif(m, "d.img", 8 << 20, 512, {0, 1, 2, 3, 62, 63, 64, 65, 100, 16382, 16383});
    m.machine("windows 98\n" + lignes);
    if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
    ouvrirVwin32();
    initialiserTransferts();
    corps(m);
  });
  EXPECT_EQ(r.statut, 0) << r.sortie;
  return r.sortie;
}

TEST(Vwin32NeufX, LimitesEtAucunDisqueCompte) {
  std::string s = neufX("drive 0 d.img\ndrive 1 d.img\n", [](MachineTemporaire&) {
    oublierNombreDisques();
    afficherMessage("%u %u %u %u %d", nombreMaxSecteurs(512), nombreMaxSecteurs(4096), tailleMaxTransfert(),
                    nombreDisques(), nomDisque(0) == nullptr);
  });
  EXPECT_EQ(s, "127 15 65024 0 1");
}

TEST(Vwin32NeufX, LecturesEtenduesEtCHSCompareesALImage) {
  std::string s = neufX("drive 0 d.img\ndrive 1 d.img noext\n", [](MachineTemporaire&) {
    T_AccesDisque etendu = {0x80, nullptr}, chs = {0x81, nullptr};
    std::vector<uint8_t> t(3 * 512);
    afficherMessage("%d", lireSecteursDisque(&etendu, 62, 3, 512, t.data()) && t == secteurs(62, 3, 512));
    afficherMessage("%d", lireSecteursSansTrace(&etendu, 16382, 2, 512, t.data()) &&
                              std::vector<uint8_t>(t.begin(), t.begin() + 1024) == secteurs(16382, 2, 512));
    // Cylinder 1, head 0, sector 1 of 255 x 63 is sector 16065; head 1 sector 1 is 63.
    T_CHS p = {1, 1, 0};
    afficherMessage(" %d", lireSecteursDisquette(&chs, &p, 2, 512, t.data()) &&
                               std::vector<uint8_t>(t.begin(), t.begin() + 1024) == secteurs(63, 2, 512));
    // A CHS-only BIOS refuses the extended read: three attempts, a zeroed sector.
    memset(t.data(), 0xAA, 512);
    afficherMessage(" %d", lireSecteursDisque(&chs, 0, 1, 512, t.data()));
    afficherMessage("%d %u", t[0] == 0 && t[511] == 0, nombrePausesSimulees());
  });
  EXPECT_EQ(s, "11 1 01 3");
}

TEST(Vwin32NeufX, TroisEssaisAvecReinitialisation) {
  std::string s = neufX("drive 0 d.img\nfail INT13_42 0x80 4 count=2\n", [](MachineTemporaire&) {
    T_AccesDisque acces = {0x80, nullptr};
    std::vector<uint8_t> t(512);
    bool lu = lireSecteursDisque(&acces, 100, 1, 512, t.data()) && t == secteurs(100, 1, 512);
    afficherMessage("%d %u %u", lu, nombrePausesSimulees(), static_cast<unsigned>(dureePausesSimulees()));
  });
  EXPECT_EQ(s, "1 2 1000");
  s = neufX("drive 0 d.img\nfail INT13_42 * 0x20\n", [](MachineTemporaire&) {
    T_AccesDisque acces = {0x80, nullptr};
    std::vector<uint8_t> t(512, 0xAA);
    vidageSecteurs = true;
    bool lu = lireSecteursDisque(&acces, 100, 1, 512, t.data());
    lu = lu || lireSecteursDisque(&acces, 0, 128, 512, t.data());
    vidageSecteurs = false;
    afficherMessage("%d %d %u", lu, t == std::vector<uint8_t>(512, 0), nombrePausesSimulees());
  });
  EXPECT_EQ(s,
            "Reading 1 sectors from 100:\nError reading sectors: error code 0x20\n"
            "Reading 128 sectors from 0:\nTrying to read too many sectors.\n0 1 3");
}

TEST(Vwin32NeufX, EcrituresEtVerification) {
  std::string s = neufX("drive 0 d.img noverify\ndrive 1 d.img\n", [](MachineTemporaire& m) {
    auto donnees = secteurs(40, 2, 512);
    // The BIOS refuses the verify flag and the separate verify: the state ends at 255.
    T_AccesDisque sansVerification = {0x80, nullptr}, avec = {0x81, nullptr};
    uint8_t etat = 2;
    bool ecrit = ecrireSecteursDisque(&sansVerification, 10, 2, 512, donnees.data(), &etat);
    afficherMessage("%d %u ", ecrit, etat);
    afficherMessage("%d ", lireImage(m, "d.img", 10 * 512, 1024) == donnees);
    ecrit = ecrireSecteursDisque(&sansVerification, 12, 1, 512, donnees.data(), &etat);
    afficherMessage("%d %u ", ecrit, etat);
    etat = 2;
    ecrit = ecrireSecteursDisque(&avec, 20, 1, 512, donnees.data(), &etat);
    afficherMessage("%d %u %u", ecrit, etat, nombrePausesSimulees());
  });
  EXPECT_EQ(s, "1 255 1 1 255 1 2 2");
}

BOOL WINAPI disquesSeulement(HANDLE, DWORD, LPVOID, DWORD, LPVOID sortie, DWORD, LPDWORD rendus, LPOVERLAPPED) {
  DIOC_REGISTERS* r = static_cast<DIOC_REGISTERS*>(sortie);
  r->reg_EDX = 0x80;
  *rendus = sizeof *r;
  return TRUE;
}

TEST(Vwin32NeufX, DisquettesSelonLeBios) {
  std::string s = neufX("drive 0 d.img\n", [](MachineTemporaire&) {
    oublierNombreDisquettes();
    afficherMessage("%u", compterDisquettes());
    oublierNombreDisquettes();
    appelsWindows.DeviceIoControl = disquesSeulement;
    afficherMessage(" %u", compterDisquettes());
  });
  EXPECT_EQ(s, "0 0");
}

// One DOS call: "carry AX DX;", or "carry AX;" when EDX holds an address.
std::string dos(int interruption, uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx, uint32_t esi = 0,
                bool avecDx = true) {
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  r.reg_EAX = eax;
  r.reg_EBX = ebx;
  r.reg_ECX = ecx;
  r.reg_EDX = edx;
  r.reg_ESI = esi;
  appelerInterruption(interruption, &r);
  char texte[40];
  if (avecDx)
    formaterMessage(texte, sizeof texte, "%u %04x %04x;", r.reg_Flags & 1, r.reg_EAX & 0xFFFF, r.reg_EDX & 0xFFFF);
  else
    formaterMessage(texte, sizeof texte, "%u %04x;", r.reg_Flags & 1, r.reg_EAX & 0xFFFF);
  return texte;
}

TEST(Vwin32NeufX, FormesDOSSurLesVolumes) {
  std::string s = neufX(
      "drive 0 d.img\nvolume E 0 32K 1M\nvolume F 0 2M 1M type=remote busy\n", [](MachineTemporaire& m) {
        std::string r;
        r += dos(0x21, 0x4409, 5, 0, 0);            // E: local
        r += dos(0x21, 0x4409, 6, 0, 0);            // F: remote
        r += dos(0x21, 0x4409, 7, 0, 0);            // G: none
        r += dos(0x21, 0x440E, 5, 0, 0);            // one letter for the drive
        r += dos(0x21, 0x440D, 5, 0x484A, 0);       // lock E:
        r += dos(0x21, 0x440D, 6, 0x484A, 0);       // F: in use
        r += dos(0x21, 0x440D, 5, 0x486A, 0);       // unlock E:
        r += dos(0x21, 0x440D, 5, 0x486A, 0);       // no level left
        std::vector<uint8_t> t(2 * 512);
        // E: begins at sector 64 of the drive.
#pragma pack(push, 1)
        struct {
          uint32_t premier;
          uint16_t nombre;
          uint32_t tampon;
        } paquet = {0, 2, adresseLineaire(t.data())};
#pragma pack(pop)
        r += dos(0x21, 0x7305, adresseLineaire(&paquet), 0xFFFFFFFF, 5);
        r += t == secteurs(64, 2, 512) ? "ok;" : "different;";
        memset(t.data(), 0, t.size());
        r += dos(0x25, 4, adresseLineaire(t.data()), 1, 36);  // E: sector 36 is sector 100
        r += t[0] == motif(100, 0) && t[511] == motif(100, 511) ? "ok;" : "different;";
        // Writes: int 26h in registers, 7305h with SI bit 0; locks of the physical drive.
        auto donnees = secteurs(9, 1, 512);
        memcpy(t.data(), donnees.data(), 512);
        r += dos(0x26, 4, adresseLineaire(t.data()), 1, 2);
        paquet.premier = 3;
        paquet.nombre = 1;
        r += dos(0x21, 0x7305, adresseLineaire(&paquet), 0xFFFFFFFF, 5, 1);
        r += dos(0x21, 0x7305, adresseLineaire(&paquet), 0xFFFFFFFF, 8, 1);  // H: none
        r += dos(0x21, 0x440D, 0x80, 0x484B, 0);
        r += dos(0x21, 0x440D, 0x80, 0x486B, 0);
        r += dos(0x21, 0x440D, 0x81, 0x084B, 0);
        r += dos(0x21, 0x440F, 5, 0, 0);
        afficherMessage("%s", r.c_str());
        afficherMessage("%d", lireImage(m, "d.img", 66 * 512, 512) == donnees &&
                                  lireImage(m, "d.img", 67 * 512, 512) == donnees);
      });
  EXPECT_EQ(s,
            "0 4409 0000;0 4409 1000;1 000f 0000;0 4400 0000;0 440d 0000;1 0005 0000;"
            "0 440d 0000;1 0001 0000;"
            "0 7305 0005;ok;0 0004 0024;ok;0 0004 0002;0 7305 0005;1 000f 0008;0 440d 0000;0 440d 0000;"
            "1 000f 0000;0 4400 0000;1");
}

TEST(Vwin32NeufX, AppareilRefuseEstFatal) {
  static uint8_t secteur[512];
  const char* const REFUS = "Error: Error when calling interruption with WIN32 interface.";
  const struct {
    const char* refus;
    void* tampon;
    const char* message;
  } cas[] = {
      {"fail CreateFileA \\\\.\\vwin32 ERROR_FILE_NOT_FOUND\n", secteur, REFUS},
      {"fail VWIN32_DIOC_DOS_INT13 * ERROR_GEN_FAILURE\n", secteur, REFUS},
#ifdef _WIN64
      // A buffer above 4 GiB: refused before any call, never cut to 32 bits.
      {"", reinterpret_cast<void*>(0x100000200ull),
       "Error: Buffer address beyond 4 GiB for a VWIN32 call."},
#endif
  };
  for (const auto& c : cas) {
    ResultatEnfant r = executerEnfant([c] {
      MachineTemporaire m;
      m.image("d.img", 1 << 20);
      m.machine(std::string("windows 95\ndrive 0 d.img\n") + c.refus);
      if (!m.installer()) afficherMessage("%s", m.erreur().c_str());
      ouvrirVwin32();
      initialiserTransferts();
      T_AccesDisque acces = {0x80, nullptr};
      lireSecteursDisque(&acces, 0, 1, 512, c.tampon);
    });
    EXPECT_EQ(r.statut, 1) << c.refus;
    EXPECT_EQ(r.sortie.rfind(c.message, 0), 0u) << r.sortie;
  }
}

TEST(Vwin32NeufX, LectureCHSTracee) {
  std::string s = neufX("drive 0 d.img noext\nfail INT13_02 0x80 0x04 after=1\n", [](MachineTemporaire&) {
    T_AccesDisque acces = {0x80, nullptr};
    T_CHS p = {0, 2, 0};
    std::vector<uint8_t> t(512, 0xAA);
    vidageSecteurs = true;
    lireSecteursDisquette(&acces, &p, 1, 512, t.data());
    lireSecteursDisquette(&acces, &p, 1, 512, t.data());
    vidageSecteurs = false;
    afficherMessage("%d", t == std::vector<uint8_t>(512, 0));
  });
  std::string vidage;
  for (uint32_t ligne = 0; ligne < 32; ++ligne) {
    char texte[16];
    formaterMessage(texte, sizeof texte, "%08X: ", ligne * 16);
    vidage += texte;
    std::string caracteres;
    for (uint32_t i = 0; i < 16; ++i) {
      uint8_t o = motif(1, ligne * 16 + i);
      formaterMessage(texte, sizeof texte, "%02X ", o);
      vidage += texte;
      caracteres += (o >= 0x20 && o <= 0x7E) ? char(o) : '.';
    }
    vidage += caracteres + "\n";
  }
  EXPECT_EQ(s, "Reading 1 sectors from 0/0/2:\n" + vidage +
                   "Reading 1 sectors from 0/0/2:\nError reading sectors: error code 0x4\n1");
}

// A FAT32 boot sector written field by field: what the parameter query copies.
std::string secteurFat32() {
  std::string s(512, '\0');
  auto mot = [&s](size_t o, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s[o + i] = static_cast<char>(v >> (8 * i));
  };
  mot(0x0B, 512, 2);
  mot(0x0D, 8, 1);
  mot(0x0E, 32, 2);
  mot(0x10, 2, 1);
  mot(0x15, 0xF8, 1);
  mot(0x18, 63, 2);
  mot(0x1A, 255, 2);
  mot(0x1C, 2048, 4);
  mot(0x20, 0x100000, 4);
  mot(0x24, 1000, 4);
  mot(0x2C, 2, 4);
  s[510] = '\x55';
  s[511] = '\xAA';
  return s;
}

TEST(Vwin32NeufX, ParametresEtFichiersOuvertsDesVolumes) {
  std::string s = neufX("drive 0 d.img\nvolume E 0 1M 1M busy\n", [](MachineTemporaire& m) {
    m.remplacer("d.img", 1 << 20, secteurFat32());
    std::string r;
    uint8_t bloc[128];
    memset(bloc, 0, sizeof bloc);
    bloc[0] = 5;
    r += dos(0x21, 0x440D, 5, 0x0860, adresseLineaire(bloc), 0, false);  // FAT32: only category 48h
    r += dos(0x21, 0x440D, 5, 0x4860, adresseLineaire(bloc), 0, false);
    uint16_t octets, tetes;
    uint32_t total, parFat;
    memcpy(&octets, bloc + 7, 2);
    memcpy(&tetes, bloc + 7 + 15, 2);
    memcpy(&total, bloc + 7 + 21, 4);
    memcpy(&parFat, bloc + 7 + 25, 4);
    char texte[64];
    formaterMessage(texte, sizeof texte, "%u %u %u %u %u %u;", bloc[0], bloc[1], octets, tetes, total, parFat);
    r += texte;
    char nom[300];
    memset(nom, 0, sizeof nom);
    r += dos(0x21, 0x440D, 5, 0x486D, adresseLineaire(nom), 0, false);
    r += std::string(nom) + ";";
    r += dos(0x21, 0x440D, 5, 0x486D, adresseLineaire(nom), 1, false);
    // FAT32 refuses both int 25h forms; 7305h reaches it.
    std::vector<uint8_t> t(512);
    r += dos(0x25, 4, adresseLineaire(t.data()), 1, 0);
    r += dos(0x26, 4, adresseLineaire(t.data()), 1, 0);
    afficherMessage("%s", r.c_str());
  });
  EXPECT_EQ(s,
            "1 0001;0 440d;5 5 512 255 1048576 1000;0 440d;E:\\WIN386.SWP;1 0012;"
            "1 0207 0000;1 0207 0000;");
}

}  // namespace
