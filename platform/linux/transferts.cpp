#include "platform/linux/transferts.h"

#include <cerrno>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"

namespace {

// Start-up values; initialiserTransferts raises them.
uint32_t limiteOctets = 65024;
uint32_t limiteSecteurs = 127;
bool sortieEnregistree = false;

// The largest sector size a disk may have.
const uint32_t TAILLE_MAX_SECTEUR = 32768;
// One read or write call never asks for more (read and write take size_t).
const uint64_t MORCEAU_MAX = 0x40000000;
// A positioned transfer must stay below 4 GiB.
const uint64_t OCTETS_MAX_POSITION = 0x100000000ULL;
const uint64_t POSITION_MAX = 0x7FFFFFFFFFFFFFFFULL;

// Checks a positioned request before any system call; the byte count goes
// to *octets. The end, (premier + nombre) x taille, stays a valid offset.
bool requeteValide(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                   const void* tampon, uint64_t* octets) {
  TRACER_APPEL();
  if (fd < 0 || tailleSecteur == 0) {
    errno = EINVAL;
    return false;
  }
  uint64_t limite = POSITION_MAX / tailleSecteur;
  if (premier >= limite || nombre > limite - premier) {
    errno = EINVAL;
    return false;
  }
  *octets = static_cast<uint64_t>(nombre) * tailleSecteur;
  if (*octets >= OCTETS_MAX_POSITION || (tampon == nullptr && *octets != 0)) {
    errno = EINVAL;
    return false;
  }
  return true;
}

// Seeks to the request's first byte; errno is the seek's on failure.
bool positionner(int fd, uint64_t premier, uint32_t tailleSecteur) {
  TRACER_APPEL();
  off64_t position = static_cast<off64_t>(premier * tailleSecteur);
  return appelsSysteme.lseek64(fd, position, SEEK_SET) == position;
}

// A failed one-sector read leaves zeros, never stale data.
void effacerSecteurEchoue(bool lu, uint32_t nombre, uint32_t tailleSecteur, void* tampon) {
  TRACER_APPEL();
  if (lu || nombre != 1 || tampon == nullptr) return;
  int erreur = errno;
  memset(tampon, 0, tailleSecteur);
  errno = erreur;
}

bool lireEtEffacer(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                   void* tampon) {
  TRACER_APPEL();
  bool lu = lireSecteursPosition(fd, premier, nombre, tailleSecteur, tampon);
  effacerSecteurEchoue(lu, nombre, tailleSecteur, tampon);
  return lu;
}

}  // namespace

void initialiserTransferts() {
  TRACER_APPEL();
  limiteSecteurs = 128;
  limiteOctets = 0x10000;
  if (!sortieEnregistree) {
    sortieEnregistree = true;
    ajouterFonctionSortie(libererTamponTransfert);
  }
}

void libererTamponTransfert() {}

uint32_t tailleMaxTransfert() { return limiteOctets; }

uint32_t nombreMaxSecteurs(uint32_t tailleSecteur) {
  TRACER_APPEL();
  uint32_t nombre = 1;
  if (tailleSecteur != 0 && limiteOctets > tailleSecteur) nombre = limiteOctets / tailleSecteur;
  return nombre < limiteSecteurs ? nombre : limiteSecteurs;
}

uint32_t tailleMaxSecteur() { return TAILLE_MAX_SECTEUR; }

namespace {

// Whole-count loop shared by reads and writes; Octet is const for writes.
template <typename Octet, typename Appel>
bool transfererTout(int fd, uint64_t nombre, Octet* tampon, uint64_t* fait, Appel appel) {
  TRACER_APPEL();
  uint64_t faits = 0;
  bool reussi = true;
  while (faits < nombre) {
    uint64_t reste = nombre - faits;
    size_t demande = static_cast<size_t>(reste < MORCEAU_MAX ? reste : MORCEAU_MAX);
    errno = 0;
    ssize_t resultat = appel(fd, tampon + faits, demande);
    if (resultat < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      reussi = false;
      break;
    }
    if (resultat == 0) break;
    // A call never reports more than it was asked for.
    faits += static_cast<uint64_t>(resultat) < demande ? static_cast<uint64_t>(resultat) : demande;
  }
  if (fait != nullptr) *fait = faits;
  return reussi;
}

// Positioned transfer shared by reads and writes.
template <typename Tampon>
bool transfererPosition(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                        Tampon* tampon, bool (*tout)(int, uint64_t, Tampon*, uint64_t*)) {
  TRACER_APPEL();
  uint64_t octets;
  if (!requeteValide(fd, premier, nombre, tailleSecteur, tampon, &octets)) return false;
  if (!positionner(fd, premier, tailleSecteur)) return false;
  uint64_t faits;
  if (!tout(fd, octets, tampon, &faits)) return false;
  if (faits != octets) {
    errno = 0;
    return false;
  }
  return true;
}

}  // namespace

bool lireTout(int fd, uint64_t nombre, void* tampon, uint64_t* fait) {
  return transfererTout(fd, nombre, static_cast<uint8_t*>(tampon), fait,
                        [](int f, uint8_t* p, size_t n) { return appelsSysteme.read(f, p, n); });
}

bool ecrireTout(int fd, uint64_t nombre, const void* donnees, uint64_t* fait) {
  return transfererTout(fd, nombre, static_cast<const uint8_t*>(donnees), fait,
                        [](int f, const uint8_t* p, size_t n) {
                          return appelsSysteme.write(f, p, n);
                        });
}

bool lireSecteursPosition(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                          void* tampon) {
  return transfererPosition(fd, premier, nombre, tailleSecteur, tampon, lireTout);
}

bool ecrireSecteursPosition(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                            const void* donnees) {
  return transfererPosition(fd, premier, nombre, tailleSecteur, donnees, ecrireTout);
}

bool lireSecteursDisque(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                        void* tampon) {
  TRACER_APPEL();
  bool trace = vidageSecteurs;
  if (trace) afficherMessage("Reading %u sectors from " FMT_U64 ":\n", nombre, premier);
  bool lu = lireSecteursPosition(fd, premier, nombre, tailleSecteur, tampon);
  if (trace) {
    if (lu) {
      afficherSecteurs(static_cast<const uint8_t*>(tampon),
                       static_cast<size_t>(static_cast<uint64_t>(nombre) * tailleSecteur), 0);
      return true;
    }
    int erreur = errno;
    afficherMessage("Error reading sectors: error code 0x%x\n", static_cast<unsigned>(erreur));
    errno = erreur;
  }
  effacerSecteurEchoue(lu, nombre, tailleSecteur, tampon);
  return lu;
}

bool ecrireSecteursDisque(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                          const void* donnees) {
  return ecrireSecteursPosition(fd, premier, nombre, tailleSecteur, donnees);
}

bool lireSecteursPeripherique(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                              void* tampon) {
  return lireEtEffacer(fd, premier, nombre, tailleSecteur, tampon);
}

bool ecrireSecteursPeripherique(int fd, uint64_t premier, uint32_t nombre,
                                uint32_t tailleSecteur, const void* donnees) {
  return ecrireSecteursPosition(fd, premier, nombre, tailleSecteur, donnees);
}

bool lireSecteursSansTrace(int fd, uint64_t premier, uint32_t nombre, uint32_t tailleSecteur,
                           void* tampon) {
  return lireEtEffacer(fd, premier, nombre, tailleSecteur, tampon);
}

void reinitialiserLecteur(uint8_t) {}

bool lireSecteursDisquette(uint8_t, uint16_t, uint8_t, uint16_t, uint32_t nombre,
                           uint32_t tailleSecteur, void* tampon) {
  TRACER_APPEL();
  effacerSecteurEchoue(false, nombre, tailleSecteur, tampon);
  errno = ENOSYS;
  return false;
}

bool ecrireSecteursDisquette(uint8_t, uint16_t, uint8_t, uint16_t, uint32_t, uint32_t,
                             const void*) {
  TRACER_APPEL();
  errno = ENOSYS;
  return false;
}
