#include "programs/vollens/linux/detection.h"

#include <linux/fs.h>
#include <linux/hdreg.h>

#include <cerrno>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/lock_manager.h"
#include "platform/linux/services.h"
#include "programs/commun/linux/questions_bloc.h"

namespace {

// Only block devices and image files are opened: a character device or a
// FIFO is refused unopened (opening a watchdog node arms it).
const char* verrouillerBloc(const char* chemin, int32_t* fd) {
  TRACER_APPEL();
  *fd = -1;
  struct stat64 etat;
  errno = 0;
  if (appelsSysteme.stat64(chemin, &etat) != 0) return MESSAGE_LECTURE_IMPOSSIBLE;
  if (!S_ISBLK(etat.st_mode) && !S_ISREG(etat.st_mode)) {
    errno = ENOTBLK;
    return MESSAGE_LECTURE_IMPOSSIBLE;
  }
  bool drapeau, lectureSeule;
  errno = 0;
  return LockManager::lockLogical(chemin, *fd, drapeau, lectureSeule);
}

// Sector size, size and geometry of the locked device.
void interroger(int32_t fd) {
  TRACER_APPEL();
  uint64_t tailleSecteur = 0;
  errno = 0;
  if (appelsSysteme.ioctl(fd, BLKSSZGET, &tailleSecteur) != 0) {
    afficherMessage("Using default sector size (%s).\n", strerror(errno));
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
  }
  afficherMessage(
      "Number of cylinders: %u\n          heads    : %u\n          sectors  : %u\n"
      "Size of sectors    : " FMT_U64 "\n        device     : ",
      static_cast<unsigned>(geometrie.cylinders), static_cast<unsigned>(geometrie.heads),
      static_cast<unsigned>(geometrie.sectors), tailleSecteur);
  afficherSecteursEtMegaoctets(secteurs, tailleSecteur);
  afficherMessage("First sector       : " FMT_U64 " sectors\n",
                  static_cast<uint64_t>(geometrie.start));
}

}  // namespace

void detecterPeripherique(const char* chemin) {
  TRACER_APPEL();
  afficherMessage("Detection for device %s:\n", chemin);
  struct stat64 etat;
  errno = 0;
  if (appelsSysteme.lstat64(chemin, &etat) != 0) {
    signalerEchecAppel("Cannot get information on device (ignored):\n");
  } else if (!S_ISBLK(etat.st_mode)) {
    afficherMessage("Device is not a block device (ignored).\n");
  }

  int32_t fd;
  const char* message = verrouillerBloc(chemin, &fd);
  if (message != nullptr) {
    memoriserErreurSysteme();
    afficherMessage("Cannot get lock on device:\n%s", message);
    afficherMessage("%s", fd < 0 ? "\n" : " (ignored).\n");
    afficherErreurSysteme();
  }
  if (fd < 0) return;
  interroger(fd);
  LockManager::unlockLogical(fd);
}
