#include "platform/windows/transferts.h"

#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/services.h"
#include "platform/windows/vwin32.h"

namespace {

// Start-up values (those of the 9x family); initialiserTransferts sets the
// family's, ajusterAlignementTransfert only raises them.
uint32_t limiteSecteurs = 127;
uint32_t limiteOctets = 65024;
uint32_t alignement = 4096;
T_BlocAligne tamponTransfert = {nullptr, nullptr};
bool sortieEnregistree = false;

uint8_t nombreDisquesCompte = 0;
bool disquesComptes = false;
const uint8_t DISQUES_MAX = 128;
const size_t TAILLE_NOM_DISQUE = 26;
char nomsDisques[DISQUES_MAX][TAILLE_NOM_DISQUE];

const uint32_t TAILLE_MAX_SECTEUR = 32768;
// One ReadFile or WriteFile call never asks for more.
const uint64_t MORCEAU_MAX = 0x40000000;
const uint64_t MAXIMUM_64 = 0xFFFFFFFFFFFFFFFFULL;

const DWORD IOCTL_STORAGE_QUERY_PROPERTY_ = 0x2D1400;
const DWORD PROPRIETE_ALIGNEMENT_ACCES = 6;  // StorageAccessAlignmentProperty
const DWORD REQUETE_STANDARD = 0;            // PropertyStandardQuery

#pragma pack(push, 4)
struct T_RequetePropriete {
  DWORD propriete;
  DWORD type;
  BYTE parametres[4];
};
struct T_DescripteurAlignement {
  DWORD version;
  DWORD taille;
  DWORD octetsParLigneCache;
  DWORD decalageAlignementCache;
  DWORD octetsParSecteurLogique;
  DWORD octetsParSecteurPhysique;
  DWORD decalageAlignementSecteur;
};
#pragma pack(pop)
static_assert(sizeof(T_RequetePropriete) == 12, "STORAGE_PROPERTY_QUERY");
static_assert(sizeof(T_DescripteurAlignement) == 28, "STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR");

void allouerTampon() {
  TRACER_APPEL();
  allouerAligne(&tamponTransfert, limiteOctets, alignement);
}

// The name of physical drive n, in its 26-byte buffer.
void formerNomDisque(char* nom, unsigned numero) {
  TRACER_APPEL();
  formaterMessage(nom, TAILLE_NOM_DISQUE, "\\\\.\\PHYSICALDRIVE%u", numero);
}

// A failed one-sector read leaves zeros, never stale data; the last error
// is kept.
void effacerSecteurEchoue(bool lu, uint32_t nombre, uint16_t tailleSecteur, void* tampon) {
  TRACER_APPEL();
  if (lu || nombre != 1 || tampon == nullptr) return;
  DWORD erreur = appelsWindows.GetLastError();
  memset(tampon, 0, tailleSecteur);
  appelsWindows.SetLastError(erreur);
}

bool refuser() {
  TRACER_APPEL();
  appelsWindows.SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

// Whole-count loop shared by reads and writes.
template <typename Octet, typename Appel>
bool transfererTout(HANDLE handle, uint64_t nombre, Octet* tampon, uint64_t* fait, Appel appel) {
  TRACER_APPEL();
  uint64_t faits = 0;
  bool reussi = true;
  while (faits < nombre) {
    uint64_t reste = nombre - faits;
    DWORD demande = static_cast<DWORD>(reste < MORCEAU_MAX ? reste : MORCEAU_MAX);
    DWORD n = 0;
    if (!appel(handle, tampon + faits, demande, &n)) {
      reussi = false;
      break;
    }
    // A call never reports more than it was asked for.
    faits += n < demande ? n : demande;
    if (n < demande) break;
  }
  if (fait != nullptr) *fait = faits;
  return reussi;
}

// Positioned transfer shared by reads and writes; a caller buffer off the
// alignment goes through the aligned buffer, which must hold the request.
bool transfererPosition(bool ecriture, HANDLE handle, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, uint8_t* tampon) {
  TRACER_APPEL();
  uint8_t* cible = tampon;
  bool parTampon = reinterpret_cast<uintptr_t>(tampon) % alignement != 0;
  uint64_t octets = static_cast<uint64_t>(nombre) * tailleSecteur;
  if (parTampon) {
    if (nombre > nombreMaxSecteurs(tailleSecteur) || octets > limiteOctets) return refuser();
    cible = static_cast<uint8_t*>(tamponTransfert.aligne);
  }
  if (handle == INVALID_HANDLE_VALUE || cible == nullptr || tailleSecteur == 0) return refuser();
  uint64_t limite = MAXIMUM_64 / tailleSecteur;
  if (premier >= limite || nombre > limite - premier) return refuser();
  uint64_t position = premier * tailleSecteur;
  LONG haut = static_cast<LONG>(position >> 32);
  appelsWindows.SetLastError(0);
  DWORD bas = appelsWindows.SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFFu), &haut,
                                           FILE_BEGIN);
  if (appelsWindows.GetLastError() != 0 || bas != static_cast<DWORD>(position) ||
      static_cast<DWORD>(haut) != static_cast<DWORD>(position >> 32))
    return false;
  uint64_t faits = 0;
  if (ecriture) {
    if (parTampon) memcpy(cible, tampon, static_cast<size_t>(octets));
    if (!ecrireTout(handle, octets, cible, &faits)) return false;
  } else {
    if (!lireTout(handle, octets, cible, &faits)) return false;
  }
  if (faits != octets) {
    // A short transfer: the end of the disk, no system error.
    appelsWindows.SetLastError(0);
    return false;
  }
  if (!ecriture && parTampon) memcpy(tampon, cible, static_cast<size_t>(octets));
  return true;
}

bool lireDisque(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                uint16_t tailleSecteur, void* tampon, bool trace) {
  TRACER_APPEL();
  if (trace) afficherMessage("Reading %u sectors from " FMT_U64 ":\n", nombre, premier);
  bool lu;
  if (estWindowsNT()) {
    lu = lireSecteursPosition(acces->handle, premier, nombre, tailleSecteur, tampon);
    if (trace && !lu) {
      DWORD erreur = appelsWindows.GetLastError();
      afficherMessage("Error reading sectors: error code 0x%lx\n", erreur);
      appelsWindows.SetLastError(erreur);
    }
  } else if (nombre > nombreMaxSecteurs(tailleSecteur)) {
    if (trace) afficherMessage("Trying to read too many sectors.\n");
    appelsWindows.SetLastError(ERROR_INVALID_PARAMETER);
    lu = false;
  } else {
    uint8_t statut = 0;
    lu = lireSecteursEtendus(acces, premier, nombre, tailleSecteur, tampon, &statut);
    if (trace && !lu) afficherMessage("Error reading sectors: error code 0x%x\n", statut);
  }
  if (trace && lu)
    afficherSecteurs(static_cast<const uint8_t*>(tampon),
                     static_cast<size_t>(static_cast<uint64_t>(nombre) * tailleSecteur), 0);
  effacerSecteurEchoue(lu, nombre, tailleSecteur, tampon);
  return lu;
}

}  // namespace

void nettoyerListesPeripheriques() {}

void enregistrerNettoyagePlateforme() {
  TRACER_APPEL();
  ajouterFonctionSortie(nettoyerListesPeripheriques);
}

uint8_t nombreDisques() {
  TRACER_APPEL();
  if (disquesComptes) return nombreDisquesCompte;
  if (estWindowsNT()) {
    // The probe stops at the first missing number: numbering follows it.
    while (nombreDisquesCompte < DISQUES_MAX) {
      char nom[TAILLE_NOM_DISQUE];
      formerNomDisque(nom, nombreDisquesCompte);
      HANDLE h = appelsWindows.CreateFileA(nom, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING,
                                           FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) break;
      appelsWindows.CloseHandle(h);
      ++nombreDisquesCompte;
    }
  }
  disquesComptes = true;
  return nombreDisquesCompte;
}

const char* nomDisque(uint8_t numero) {
  TRACER_APPEL();
  if (numero >= nombreDisques()) return nullptr;
  char* nom = nomsDisques[numero];
  if (nom[0] == '\0') formerNomDisque(nom, numero);
  return nom;
}

void oublierNombreDisques() {
  TRACER_APPEL();
  disquesComptes = false;
  nombreDisquesCompte = 0;
}

void initialiserTransferts() {
  TRACER_APPEL();
  if (estWindowsNT()) {
    limiteSecteurs = 128;
    limiteOctets = 0x10000;
  } else {
    limiteSecteurs = 127;
    limiteOctets = 65024;
  }
  if (tamponTransfert.bloc != nullptr) libererAligne(&tamponTransfert);
  allouerTampon();
  if (!sortieEnregistree) {
    sortieEnregistree = true;
    ajouterFonctionSortie(libererTamponTransfert);
  }
}

void libererTamponTransfert() {
  TRACER_APPEL();
  if (tamponTransfert.bloc != nullptr) libererAligne(&tamponTransfert);
  tamponTransfert.bloc = nullptr;
  tamponTransfert.aligne = nullptr;
}

uint32_t tailleMaxTransfert() { return limiteOctets; }

uint32_t nombreMaxSecteurs(uint32_t tailleSecteur) {
  TRACER_APPEL();
  uint32_t nombre = 1;
  if (tailleSecteur != 0 && limiteOctets > tailleSecteur) nombre = limiteOctets / tailleSecteur;
  return nombre < limiteSecteurs ? nombre : limiteSecteurs;
}

uint32_t tailleMaxSecteur() { return TAILLE_MAX_SECTEUR; }

uint32_t alignementTransfert() { return alignement; }

bool ajusterAlignementTransfert(HANDLE handle, uint32_t tailleSecteur) {
  TRACER_APPEL();
  if (tailleSecteur > TAILLE_MAX_SECTEUR) return false;
  uint32_t a = tailleSecteur;
  if (estWindowsVistaOuPlus()) {
    T_RequetePropriete requete;
    memset(&requete, 0, sizeof requete);
    requete.propriete = PROPRIETE_ALIGNEMENT_ACCES;
    requete.type = REQUETE_STANDARD;
    T_DescripteurAlignement descripteur;
    memset(&descripteur, 0, sizeof descripteur);
    DWORD rendus = 0;
    if (appelsWindows.DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY_, &requete, sizeof requete,
                                      &descripteur, sizeof descripteur, &rendus, nullptr)) {
      uint32_t m = descripteur.octetsParSecteurLogique > descripteur.octetsParSecteurPhysique
                       ? descripteur.octetsParSecteurLogique
                       : descripteur.octetsParSecteurPhysique;
      // A sector that no disk may have never sizes the buffer.
      if (m > TAILLE_MAX_SECTEUR) return false;
      if (m > a) a = m;
    }
  }
  if ((a & (a - 1)) != 0 || a == 0) {
    uint32_t p = 1;
    while (p < a) p <<= 1;
    a = p;
  }
  bool change = false;
  if (limiteOctets < a) {
    limiteOctets = a;
    change = true;
  }
  if (alignement < a) {
    alignement = a;
    change = true;
  }
  if (change) {
    if (tamponTransfert.bloc != nullptr) libererAligne(&tamponTransfert);
    allouerTampon();
  }
  return true;
}

bool lireTout(HANDLE handle, uint64_t nombre, void* tampon, uint64_t* fait) {
  return transfererTout(handle, nombre, static_cast<uint8_t*>(tampon), fait,
                        [](HANDLE h, uint8_t* p, DWORD n, DWORD* lus) {
                          return appelsWindows.ReadFile(h, p, n, lus, nullptr) != FALSE;
                        });
}

bool ecrireTout(HANDLE handle, uint64_t nombre, const void* donnees, uint64_t* fait) {
  return transfererTout(handle, nombre, static_cast<const uint8_t*>(donnees), fait,
                        [](HANDLE h, const uint8_t* p, DWORD n, DWORD* ecrits) {
                          return appelsWindows.WriteFile(h, p, n, ecrits, nullptr) != FALSE;
                        });
}

bool lireSecteursPosition(HANDLE handle, uint64_t premier, uint32_t nombre, uint16_t tailleSecteur,
                          void* tampon) {
  return transfererPosition(false, handle, premier, nombre, tailleSecteur,
                            static_cast<uint8_t*>(tampon));
}

bool ecrireSecteursPosition(HANDLE handle, uint64_t premier, uint32_t nombre,
                            uint16_t tailleSecteur, const void* donnees) {
  // The write side only reads the buffer.
  return transfererPosition(true, handle, premier, nombre, tailleSecteur,
                            const_cast<uint8_t*>(static_cast<const uint8_t*>(donnees)));
}

bool lireSecteursDisque(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                        uint16_t tailleSecteur, void* tampon) {
  return lireDisque(acces, premier, nombre, tailleSecteur, tampon, vidageSecteurs);
}

bool lireSecteursSansTrace(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                           uint16_t tailleSecteur, void* tampon) {
  return lireDisque(acces, premier, nombre, tailleSecteur, tampon, false);
}

bool ecrireSecteursDisque(const T_AccesDisque* acces, uint64_t premier, uint32_t nombre,
                          uint16_t tailleSecteur, const void* donnees, uint8_t* etatVerification) {
  TRACER_APPEL();
  if (estWindowsNT()) return ecrireSecteursPosition(acces->handle, premier, nombre, tailleSecteur, donnees);
  return ecrireSecteursEtendus(acces, premier, nombre, tailleSecteur, donnees, etatVerification);
}
