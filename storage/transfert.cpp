// Bounded sector transfers of Support_Bloc: range checks, redirection,
// platform-sized chunks and the sector-by-sector retry.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "storage/info_disque.h"
#include "storage/plateforme.h"
#include "storage/support_bloc.h"

namespace {

const char* const PROTEGE = "Support is protected to not be written.";
const uint64_t OCTETS_MAX_REQUETE = 0xFFFFFFFFu;
// Counts are widened to 64 bits before they meet these formats.
const char* const HORS_LECTURE =
    "Trying to read " FMT_U64 " sectors from sector " FMT_U64 " when support has " FMT_U64
    " sectors only.";
const char* const HORS_ECRITURE =
    "Trying to write " FMT_U64 " sectors from sector " FMT_U64 " when support has " FMT_U64
    " sectors only.";

// Sector size 0 would make every offset 0; 4 GiB or more does not fit the
// request's 32-bit byte offsets. Both are refused, not truncated.
bool requeteValide(uint16_t tailleSecteur, uint32_t nombre) {
  TRACER_APPEL();
  if (tailleSecteur == 0 || static_cast<uint64_t>(nombre) * tailleSecteur > OCTETS_MAX_REQUETE) {
    errno = EINVAL;
    return false;
  }
  return true;
}

void signalerHorsSupport(T_RappelMessage rappel, const char* format, size_t taille,
                         uint64_t nombre, uint64_t premier, uint64_t total) {
  TRACER_APPEL();
  if (!rappel) return;
  char* message = static_cast<char*>(xmalloc(taille));
  formaterMessage(message, taille, format, nombre, premier, total);
  rappel(message);
  free(message);
}

void signalerSecteur(T_RappelMessage rappel, const char* format, char* secteur) {
  TRACER_APPEL();
  size_t taille = strlen(secteur) + 30;
  char* message = static_cast<char*>(xmalloc(taille));
  formaterMessage(message, taille, format, secteur);
  rappel(message);
  free(message);
  free(secteur);
}

// Whether [premier, premier + nombre) meets [source, source + longueur),
// tested without sums.
bool chevauche(uint64_t premier, uint64_t nombre, uint64_t source, uint64_t longueur) {
  TRACER_APPEL();
  if (nombre == 0 || longueur == 0) return false;
  return premier >= source ? premier - source < longueur : source - premier < nombre;
}

// One piece of a redirected request: where it goes on the medium, and where
// it lies in the caller's buffer (in sectors from the request's start).
struct T_Partie {
  uint64_t premier;
  uint32_t nombre;
  uint64_t decalage;
};

// Cuts a request that meets the window into the part before it, the part
// inside it (moved to the target) and the part after it; returns the count.
size_t decouperRedirection(uint64_t premier, uint32_t nombre, uint64_t source, uint64_t cible,
                           uint64_t longueur, T_Partie* parties) {
  TRACER_APPEL();
  size_t n = 0;
  uint64_t position = premier;
  uint32_t reste = nombre;
  if (position < source) {
    uint32_t avant = static_cast<uint32_t>(source - position);
    parties[n++] = {position, avant, 0};
    position = source;
    reste -= avant;
  }
  uint64_t dansFenetre = position - source;
  uint64_t place = longueur - dansFenetre;
  uint32_t dedans = static_cast<uint32_t>(place < reste ? place : reste);
  parties[n++] = {cible + dansFenetre, dedans, position - premier};
  position += dedans;
  reste -= dedans;
  if (reste > 0) parties[n++] = {position, reste, position - premier};
  return n;
}

}  // namespace

uint32_t Support_Bloc::nombreSecteursTransfert(uint64_t premier, uint32_t voulus) {
  TRACER_APPEL();
  if (!accesDirect()) return voulus;
  uint32_t limite = nombreMaxSecteurs(tailleSecteur_);
  if (acces_ == ACCES_STANDARD) {
    // Stop at the last sector of the track.
    uint64_t s = lbaVersCHS(premier).secteur;
    uint64_t jusquaFinPiste = secteursParPiste_ >= s ? secteursParPiste_ - s + 1 : 1;
    if (voulus > jusquaFinPiste) voulus = static_cast<uint32_t>(jusquaFinPiste);
  }
  return limite < voulus ? limite : voulus;
}

bool Support_Bloc::lire(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage rappel) {
  TRACER_APPEL();
  return transferer(false, premier, nombre, static_cast<uint8_t*>(tampon), rappel, false);
}

bool Support_Bloc::ecrireControle(uint64_t premier, uint32_t nombre, const void* donnees,
                                  T_RappelMessage rappel, bool forcer) {
  TRACER_APPEL();
  const uint64_t debut = fenetreEcriturePremier_;
  const uint64_t longueur = fenetreEcritureLongueur_;
  bool dansFenetre = premier >= debut && premier - debut < longueur && nombre <= longueur &&
                     premier - debut <= longueur - nombre;
  if (!estModifiable() || !(forcer || dansFenetre)) {
    if (rappel) rappel(PROTEGE);
    return false;
  }
  // The write side only reads the buffer.
  uint8_t* octets = const_cast<uint8_t*>(static_cast<const uint8_t*>(donnees));
  return transferer(true, premier, nombre, octets, rappel, forcer);
}

bool Support_Bloc::ecrire(uint64_t premier, uint32_t nombre, const void* donnees,
                          T_RappelMessage rappel) {
  TRACER_APPEL();
  return ecrireControle(premier, nombre, donnees, rappel, ouvert_);
}

bool Support_Bloc::transferer(bool ecriture, uint64_t premier, uint32_t nombre, uint8_t* tampon,
                              T_RappelMessage rappel, bool forcer) {
  TRACER_APPEL();
  if (!requeteValide(tailleSecteur_, nombre)) return false;
  const char* horsSupport = ecriture ? HORS_ECRITURE : HORS_LECTURE;
  const size_t tailleMessage = ecriture ? 178 : 177;
  const uint64_t n = nombreSecteurs_;
  if (premier >= n) {
    signalerHorsSupport(rappel, horsSupport, tailleMessage, nombre, premier, n);
    return false;
  }
  if (nombre > n - premier) {
    // What lies inside is transferred; nothing beyond the last sector.
    uint32_t dedans = static_cast<uint32_t>(n - premier);
    transfererDansSupport(ecriture, premier, dedans, tampon, rappel, forcer);
    signalerHorsSupport(rappel, horsSupport, tailleMessage, nombre - dedans, n, n);
    return false;
  }
  return transfererDansSupport(ecriture, premier, nombre, tampon, rappel, forcer);
}

bool Support_Bloc::transfererDansSupport(bool ecriture, uint64_t premier, uint32_t nombre,
                                         uint8_t* tampon, T_RappelMessage rappel, bool forcer) {
  TRACER_APPEL();
  const uint64_t taille = tailleSecteur_;
  if (chevauche(premier, nombre, redirectionSource_, redirectionLongueur_)) {
    T_Partie parties[3];
    size_t n = decouperRedirection(premier, nombre, redirectionSource_, redirectionCible_,
                                   redirectionLongueur_, parties);
    const uint64_t longueur = redirectionLongueur_;
    redirectionLongueur_ = 0;  // the nested transfers see no window
    bool resultat = true;
    for (size_t i = 0; i < n; ++i) {
      uint8_t* place = tampon + parties[i].decalage * taille;
      resultat &= ecriture ? ecrireControle(parties[i].premier, parties[i].nombre, place, rappel, forcer)
                           : lire(parties[i].premier, parties[i].nombre, place, rappel);
    }
    redirectionLongueur_ = longueur;
    return resultat;
  }

  bool resultat = true;
  uint64_t position = premier;
  uint32_t reste = nombre;
  while (reste > 0) {
    uint32_t k = nombreSecteursTransfert(position, reste);
    if (k == 0 || k > reste) k = reste;  // never stall, never overrun
    reste -= k;
    uint8_t* morceau = tampon + (position - premier) * taille;
    if (!transfertPhysique(ecriture, position, k, morceau, rappel)) {
      resultat = false;
      // Without direct access the chunk was the whole remainder: no retry.
      if (!accesDirect()) break;
      for (uint32_t i = 0; i < k; ++i) {
        uint8_t* secteur = morceau + i * taille;
        if (transfertPhysique(ecriture, position + i, 1, secteur, rappel)) continue;
        if (!ecriture && !rappel) {
          // Nobody to tell: zeros to the chunk's end, and the read stops.
          memset(secteur, 0, (k - i) * taille);
          return false;
        }
        if (rappel) {
          signalerSecteur(rappel, ecriture ? "Error when writing sector %s." : "Error when reading sector %s.",
                          texteSecteur(position + i));
        }
      }
    }
    position += k;
  }
  return resultat;
}

bool Support_Bloc::transfertPhysique(bool ecriture, uint64_t premier, uint32_t nombre,
                                     uint8_t* tampon, T_RappelMessage rappel) {
  TRACER_APPEL();
  return ecriture ? ecrireSecteurs(premier, nombre, tampon, rappel)
                  : lireSecteurs(premier, nombre, tampon, rappel);
}
