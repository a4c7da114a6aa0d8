// What the block-device ioctls of a disk's device answer.
#include <linux/fs.h>
#include <linux/hdreg.h>

#include <cerrno>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "platform/linux/appels_systeme.h"
#include "programs/commun/linux/questions_bloc.h"
#include "programs/platlens/platlens.h"
#include "storage/plateforme.h"

namespace {

// A record lock of the given type over the whole device.
int verrouiller(int fd, short type) {
  TRACER_APPEL();
  struct flock verrou;
  memset(&verrou, 0, sizeof verrou);
  verrou.l_type = type;
  verrou.l_whence = SEEK_SET;
  verrou.l_start = 0;
  verrou.l_len = 0;
  errno = 0;
  return appelsSysteme.fcntl(fd, F_SETLK, &verrou);
}

void interroger(int fd) {
  TRACER_APPEL();
  uint64_t tailleSecteur = 0;
  errno = 0;
  if (appelsSysteme.ioctl(fd, BLKSSZGET, &tailleSecteur) != 0) {
    signalerEchecAppel("Unable to get sector size, using default one:\n");
    tailleSecteur = 512;
  } else if (!signalerTailleSecteur(tailleSecteur)) {
    return;
  }
  uint64_t secteurs = demanderTailleOctets(fd, tailleSecteur) / tailleSecteur;

  struct hd_geometry geometrie;
  memset(&geometrie, 0, sizeof geometrie);
  errno = 0;
  if (appelsSysteme.ioctl(fd, HDIO_GETGEO, &geometrie) != 0) {
    signalerEchecAppel("Unable to get geometry:\n");
    memset(&geometrie, 0, sizeof geometrie);
  } else if (geometrie.start != 0) {
    afficherMessage("Begin offset of device is not equal to 0 (" FMT_U64 ") (ignored).\n",
                    static_cast<uint64_t>(geometrie.start));
  }
  afficherMessage(
      "Number of cylinders: %u\n          heads    : %u\n          sectors  : %u\n"
      "Size of sectors    : " FMT_U64 "\n        disk       : ",
      static_cast<unsigned>(geometrie.cylinders), static_cast<unsigned>(geometrie.heads),
      static_cast<unsigned>(geometrie.sectors), tailleSecteur);
  afficherSecteursEtMegaoctets(secteurs, tailleSecteur);
}

}  // namespace

void detecterDisque(uint8_t numero) {
  TRACER_APPEL();
  const char* nom = nomDisque(numero);
  if (nom == nullptr) {
    afficherMessage(":\nUnable to get device name.\n");
    return;
  }
  afficherMessage(" (%s):\n", nom);
  errno = 0;
  int fd = appelsSysteme.open64(nom, O_RDWR);
  if (fd < 0) {
    signalerEchecAppel("Unable to open device:\n");
    return;
  }
  if (verrouiller(fd, F_WRLCK) != 0) signalerEchecAppel("Unable to get lock (ignored):\n");
  interroger(fd);
  verrouiller(fd, F_UNLCK);
  appelsSysteme.close(fd);
}
