#include "platform/windows/vwin32.h"

#include <cstring>
#include <initializer_list>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/options.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/services.h"

namespace {

HANDLE handleVwin32 = INVALID_HANDLE_VALUE;
bool fermetureEnregistree = false;
uint8_t nombreDisquettes = 0;
bool disquettesComptees = false;

const int ESSAIS = 3;
const DWORD PAUSE_REINITIALISATION = 500;
const uint8_t STATUT_FONCTION_INVALIDE = 1;

enum : uint8_t {
  BIOS_REINITIALISER = 0x00,
  BIOS_LIRE = 0x02,
  BIOS_ECRIRE = 0x03,
  BIOS_VERIFIER = 0x04,
  BIOS_PARAMETRES = 0x08,
  BIOS_LIRE_ETENDU = 0x42,
  BIOS_ECRIRE_ETENDU = 0x43,
  BIOS_VERIFIER_ETENDU = 0x44,
};

uint8_t statutBios(const DIOC_REGISTERS& r) { return static_cast<uint8_t>(r.reg_EAX >> 8); }
bool echoue(const DIOC_REGISTERS& r) { return (r.reg_Flags & DRAPEAU_RETENUE) != 0; }

void preparer(DIOC_REGISTERS* r, uint8_t fonction, uint8_t al, uint8_t lecteur) {
  TRACER_APPEL();
  memset(r, 0, sizeof *r);
  r->reg_EAX = (static_cast<uint32_t>(fonction) << 8) | al;
  r->reg_EDX = lecteur;
}

// Verification of writes: wanted unless the options say otherwise.
bool verificationVoulue() {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  return options == nullptr || options->verifierEcritures();
}

// Verification after a CHS write only when the options ask for it.
bool verificationDisquetteVoulue() {
  TRACER_APPEL();
  OptionsSupportBloc* options = optionsSupportBloc();
  return options != nullptr && options->verifierEcritures();
}

void effacerSecteurEchoue(bool lu, uint32_t nombre, uint16_t tailleSecteur, void* tampon) {
  TRACER_APPEL();
  if (!lu && nombre == 1 && tampon != nullptr) memset(tampon, 0, tailleSecteur);
}

void preparerPaquet(T_PaquetAdresseDisque* paquet, uint64_t premier, uint32_t nombre,
                    const void* tampon) {
  TRACER_APPEL();
  uint32_t adresse = adresseLineaire(tampon);
  paquet->taille = sizeof *paquet;
  paquet->reserve = 0;
  paquet->nombre = static_cast<uint16_t>(nombre);
  paquet->decalageTampon = static_cast<uint16_t>(adresse & 0xFFFF);
  paquet->segmentTampon = static_cast<uint16_t>(adresse >> 16);
  paquet->premier = premier;
}

// One CHS call (02h, 03h, 04h) on the key's drive.
void appelCHS(DIOC_REGISTERS* r, uint8_t fonction, const T_AccesDisque* acces,
              const T_CHS* position, uint8_t nombre, const void* tampon) {
  TRACER_APPEL();
  preparer(r, fonction, nombre, static_cast<uint8_t>(acces->lecteur));
  r->reg_ECX = composerCHS(position->secteur, position->cylindre);
  r->reg_EDX |= static_cast<uint32_t>(position->tete) << 8;
  r->reg_EBX = adresseLineaire(tampon);
  appelerInterruption(0x13, r);
}

bool lireDisquette(const T_AccesDisque* acces, const T_CHS* position, uint8_t nombre,
                   uint16_t tailleSecteur, void* tampon, bool trace) {
  TRACER_APPEL();
  if (trace)
    afficherMessage("Reading %u sectors from %u/%u/%u:\n", nombre, position->cylindre,
                    position->tete, position->secteur);
  bool lu = false;
  if (nombre > nombreMaxSecteurs(tailleSecteur)) {
    if (trace) afficherMessage("Trying to read too many sectors.\n");
  } else if (!estWindowsNT()) {
    DIOC_REGISTERS r;
    for (int essai = 0; essai < ESSAIS && !lu; ++essai) {
      appelCHS(&r, BIOS_LIRE, acces, position, nombre, tampon);
      lu = !echoue(r);
      if (!lu) reinitialiserLecteur(acces);
    }
    if (trace) {
      if (lu)
        afficherSecteurs(static_cast<const uint8_t*>(tampon),
                         static_cast<size_t>(nombre) * tailleSecteur, 0);
      else
        afficherMessage("Error reading sectors: error code 0x%x\n", statutBios(r));
    }
  }
  effacerSecteurEchoue(lu, nombre, tailleSecteur, tampon);
  return lu;
}

}  // namespace

void ouvrirVwin32() {
  TRACER_APPEL();
  if (!estWindowsNT()) {
    handleVwin32 = appelsWindows.CreateFileA("\\\\.\\vwin32", GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (!fermetureEnregistree) {
    fermetureEnregistree = true;
    ajouterFonctionSortie(fermerVwin32);
  }
}

void fermerVwin32() {
  TRACER_APPEL();
  if (handleVwin32 != INVALID_HANDLE_VALUE) appelsWindows.CloseHandle(handleVwin32);
  handleVwin32 = INVALID_HANDLE_VALUE;
}

DWORD codeControleVwin32(int interruption, uint32_t eax) {
  TRACER_APPEL();
  switch (interruption) {
    case 0x13: return VWIN32_DIOC_DOS_INT13;
    case 0x25: return VWIN32_DIOC_DOS_INT25;
    case 0x26: return VWIN32_DIOC_DOS_INT26;
    case 0x21:
      // The whole register: an upper half other than 0 is refused.
      if (eax >= 0x4400 && eax <= 0x4411) return VWIN32_DIOC_DOS_IOCTL;
      if (eax >= 0x7300 && eax <= 0x730F) return VWIN32_DIOC_DOS_DRIVEINFO;
      return 0;
    default: return 0;
  }
}

void appelerInterruption(int interruption, DIOC_REGISTERS* registres) {
  TRACER_APPEL();
  const char* const REFUS = "Error when calling interruption with WIN32 interface.";
  DWORD code = codeControleVwin32(interruption, registres->reg_EAX);
  if (code == 0 || handleVwin32 == INVALID_HANDLE_VALUE) erreurFatale(REFUS, ERREUR_ARBRE_APPEL, 1);
  registres->reg_Flags = 0;
  DWORD rendus = 0;
  if (!appelsWindows.DeviceIoControl(handleVwin32, code, registres, sizeof *registres, registres,
                                     sizeof *registres, &rendus, nullptr))
    erreurFatale(REFUS, ERREUR_ARBRE_APPEL, 1);
}

uint32_t adresseLineaire(const void* adresse) {
#ifdef _WIN64
  // Flat addresses are 32-bit: an address above 4 GiB is refused, never cut.
  uintptr_t valeur = reinterpret_cast<uintptr_t>(adresse);
  if (valeur > 0xFFFFFFFFu)
    erreurFatale("Buffer address beyond 4 GiB for a VWIN32 call.", ERREUR_ARBRE_APPEL, 1);
  return static_cast<uint32_t>(valeur);
#else
  // Flat addresses are 32-bit: the 9x family runs only the i686 build.
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(adresse));
#endif
}

void reinitialiserLecteur(const T_AccesDisque* acces) {
  TRACER_APPEL();
  if (estWindowsNT()) return;
  DIOC_REGISTERS r;
  preparer(&r, BIOS_REINITIALISER, 0, 0);
  r.reg_EDX = static_cast<uint32_t>(acces->lecteur);
  appelerInterruption(0x13, &r);
  appelsWindows.Sleep(PAUSE_REINITIALISATION);
}

uint8_t compterDisquettes() {
  TRACER_APPEL();
  if (disquettesComptees) return nombreDisquettes;
  nombreDisquettes = 0;
  if (estWindowsNT()) {
    for (char lettre : {'A', 'B'}) {
      char nom[8];
      formaterMessage(nom, sizeof nom, "\\\\.\\%c:", lettre);
      HANDLE h = appelsWindows.CreateFileA(nom, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING,
                                           FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) break;
      appelsWindows.CloseHandle(h);
      ++nombreDisquettes;
    }
  } else {
    DIOC_REGISTERS r;
    preparer(&r, BIOS_PARAMETRES, 0, 0);
    appelerInterruption(0x13, &r);
    uint8_t lecteurs = static_cast<uint8_t>(r.reg_EDX);
    if (!echoue(r) && lecteurs < 0x80) nombreDisquettes = lecteurs;
  }
  disquettesComptees = true;
  return nombreDisquettes;
}

void oublierNombreDisquettes() {
  TRACER_APPEL();
  disquettesComptees = false;
  nombreDisquettes = 0;
}

bool lireSecteursDisquette(const T_AccesDisque* acces, const T_CHS* position, uint8_t nombre,
                           uint16_t tailleSecteur, void* tampon) {
  return lireDisquette(acces, position, nombre, tailleSecteur, tampon, vidageSecteurs);
}

bool lireSecteursDisquetteSansTrace(const T_AccesDisque* acces, const T_CHS* position,
                                    uint8_t nombre, uint16_t tailleSecteur, void* tampon) {
  return lireDisquette(acces, position, nombre, tailleSecteur, tampon, false);
}

bool ecrireSecteursDisquette(const T_AccesDisque* acces, const T_CHS* position, uint8_t nombre,
                             uint16_t tailleSecteur, const void* donnees) {
  TRACER_APPEL();
  if (estWindowsNT() || nombre > nombreMaxSecteurs(tailleSecteur)) return false;
  bool verifier = verificationDisquetteVoulue();
  DIOC_REGISTERS r;
  for (int essai = 0; essai < ESSAIS; ++essai) {
    appelCHS(&r, BIOS_ECRIRE, acces, position, nombre, donnees);
    bool ecrit = !echoue(r);
    if (ecrit && verifier) {
      appelCHS(&r, BIOS_VERIFIER, acces, position, nombre, donnees);
      ecrit = !echoue(r);
    }
    if (ecrit) return true;
    reinitialiserLecteur(acces);
  }
  return false;
}

bool lireSecteursEtendus(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                         uint16_t tailleSecteur, void* tampon, uint8_t* statut) {
  TRACER_APPEL();
  *statut = 0;
  bool lu = false;
  if (nombre <= nombreMaxSecteurs(tailleSecteur)) {
    T_PaquetAdresseDisque paquet;
    for (int essai = 0; essai < ESSAIS && !lu; ++essai) {
      // A failed call leaves in the packet the count it moved: built anew
      // for every call.
      preparerPaquet(&paquet, premier, nombre, tampon);
      DIOC_REGISTERS r;
      preparer(&r, BIOS_LIRE_ETENDU, 0, static_cast<uint8_t>(acces->lecteur));
      r.reg_ESI = adresseLineaire(&paquet);
      appelerInterruption(0x13, &r);
      lu = !echoue(r);
      if (!lu) {
        *statut = statutBios(r);
        reinitialiserLecteur(acces);
      }
    }
  }
  effacerSecteurEchoue(lu, nombre, tailleSecteur, tampon);
  return lu;
}

bool ecrireSecteursEtendus(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                           uint16_t tailleSecteur, const void* donnees,
                           uint8_t* etatVerification) {
  TRACER_APPEL();
  bool verifier = verificationVoulue();
  if (nombre > nombreMaxSecteurs(tailleSecteur)) return false;
  T_PaquetAdresseDisque paquet;
  const uint8_t lecteur = static_cast<uint8_t>(acces->lecteur);
  for (int essai = 0; essai < ESSAIS;) {
    DIOC_REGISTERS r;
    preparer(&r, BIOS_ECRIRE_ETENDU, 0, lecteur);
    preparerPaquet(&paquet, premier, nombre, donnees);
    r.reg_ESI = adresseLineaire(&paquet);
    bool reussi;
    if (!verifier) {
      appelerInterruption(0x13, &r);
      reussi = !echoue(r);
    } else {
      uint8_t etat = *etatVerification;
      r.reg_EAX |= etat < VERIFICATION_ABSENTE ? etat : 0;
      appelerInterruption(0x13, &r);
      reussi = !echoue(r);
      if (reussi && etat == VERIFICATION_SEPAREE) {
        preparer(&r, BIOS_VERIFIER_ETENDU, 0, lecteur);
        preparerPaquet(&paquet, premier, nombre, donnees);
        r.reg_ESI = adresseLineaire(&paquet);
        appelerInterruption(0x13, &r);
        reussi = !echoue(r);
        if (!reussi && statutBios(r) == STATUT_FONCTION_INVALIDE)
          *etatVerification = VERIFICATION_ABSENTE;
      }
    }
    if (reussi) return true;
    reinitialiserLecteur(acces);
    uint8_t etat = *etatVerification;
    // A BIOS that refuses the verify flag: plain writes and a separate
    // verify, tried again at once.
    if (verifier && statutBios(r) == STATUT_FONCTION_INVALIDE && etat >= 1 && etat <= 254) {
      *etatVerification = VERIFICATION_SEPAREE;
      continue;
    }
    ++essai;
  }
  return false;
}
