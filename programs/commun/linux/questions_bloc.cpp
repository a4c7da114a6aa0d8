#include "programs/commun/linux/questions_bloc.h"

#include <linux/fs.h>

#include <cerrno>
#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/services.h"

bool tailleSecteurAcceptee(uint64_t taille) {
  return taille >= 512 && taille <= 32768 && taille % 512 == 0;
}

bool signalerTailleSecteur(uint64_t taille) {
  TRACER_APPEL();
  if (tailleSecteurAcceptee(taille)) return true;
  if (taille == 0) {
    afficherMessage("Invalid sector size (" FMT_U64 ").\n", taille);
    return false;
  }
  afficherMessage("Invalid sector size (" FMT_U64 ") (ignored).\n", taille);
  return true;
}

void signalerEchecAppel(const char* message) {
  TRACER_APPEL();
  memoriserErreurSysteme();
  afficherMessage("%s", message);
  afficherErreurSysteme();
}

uint64_t demanderTailleOctets(int fd, uint64_t tailleSecteur) {
  TRACER_APPEL();
  uint64_t taille = 0;
  errno = 0;
  if (appelsSysteme.ioctl(fd, BLKGETSIZE64, &taille) != 0) {
    signalerEchecAppel("Unable to get disk size with 64 bits function:\n");
    afficherMessage("Using 32 bits function.\n");
    // The kernel's count is an unsigned long: 32 bits on i386, hence the
    // 64-bit product.
    unsigned long secteurs = 0;
    errno = 0;
    if (appelsSysteme.ioctl(fd, BLKGETSIZE, &secteurs) != 0) {
      signalerEchecAppel("Unable to get disk size with 32 bits function (ignored):\n");
      taille = 0;
    } else {
      taille = static_cast<uint64_t>(secteurs) * 512;
    }
  }
  if (tailleSecteur != 0 && taille % tailleSecteur != 0) {
    afficherMessage("Invalid disk size (" FMT_U64 "): not multiple of sector size (" FMT_U64
                    ") (ignored).\n",
                    taille, tailleSecteur);
  }
  return taille;
}

void afficherSecteursEtMegaoctets(uint64_t secteurs, uint64_t tailleSecteur) {
  TRACER_APPEL();
  // secteurs comes from a byte size divided by tailleSecteur: no overflow.
  char* megaoctets = texteRapport(secteurs * tailleSecteur, 0x100000, 0, 2, false);
  afficherMessage(FMT_U64 " sectors - %s MB\n", secteurs, megaoctets);
  free(megaoctets);
}
