#include "platform/linux/lock_manager.h"

#include <linux/fs.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "core/string_array.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/montages.h"
#include "platform/linux/peripheriques.h"

const char* const MESSAGE_ECHEC_VERROU =
    "Program cannot lock support access to avoid other program accessing it.\n"
    "This can be due to some files being used on this support, so you need\n"
    "to close programs that use these files. Then you need to unmount the\n"
    "device through the \"umount\" command or from your favorite file manager.\n"
    "If this support is the in use system partition, you need to use\n"
    "Talvermoss from another system or from a bootable floppy or CD.";
const char* const MESSAGE_LECTURE_IMPOSSIBLE = "Program cannot read device.";
const char* const MESSAGE_SUPPORT_MONTE =
    "Support is currently in use through Linux access, unmount it before.";

namespace {

BasicArray<LockManager::T_PhysicalLock, const LockManager::T_PhysicalLock> verrousPhysiques;
BasicArray<LockManager::T_LogicalLock, const LockManager::T_LogicalLock> verrousLogiques;

// Whole-file record lock of the given type.
int poserVerrou(int fd, short type) {
  TRACER_APPEL();
  struct flock verrou;
  memset(&verrou, 0, sizeof verrou);
  verrou.l_type = type;
  verrou.l_whence = SEEK_SET;
  verrou.l_start = 0;
  verrou.l_len = 0;
  return appelsSysteme.fcntl(fd, F_SETLK, &verrou);
}

void viderTampons(int fd) {
  TRACER_APPEL();
  appelsSysteme.fsync(fd);
  appelsSysteme.ioctl(fd, BLKFLSBUF, nullptr);
}

// A block device, or a regular file (an image). Anything else is refused
// unopened: opening a character device (a watchdog) for writing could act
// on it, and opening a FIFO could wait for ever.
bool ouvrable(const struct stat64& etat) { return S_ISBLK(etat.st_mode) || S_ISREG(etat.st_mode); }

// True when a mounted device is the path, its disk, or (for a whole disk)
// one of its partitions. A link name is compared by what it points to.
bool estMonte(const char* chemin) {
  TRACER_APPEL();
  StringArray montes;
  listerPeripheriquesMontes(montes);
  if (montes.count() == 0) return false;
  char* canonique = cheminCanonique(chemin);
  bool estPartition = false;
  char* disque = separerNumeroPartition(canonique, &estPartition);
  char* prefixe = prefixePartitions(disque);
  bool monte = false;
  for (size_t i = 0; i < montes.count() && !monte; ++i) {
    const char* m = montes[i];
    if (!m) continue;
    monte = strcmp(m, chemin) == 0 || strcmp(m, canonique) == 0 || strcmp(m, disque) == 0 ||
            (!estPartition && suiviDeChiffres(m, prefixe));
  }
  free(prefixe);
  free(disque);
  free(canonique);
  return monte;
}

}  // namespace

const BasicArray<LockManager::T_PhysicalLock, const LockManager::T_PhysicalLock>&
LockManager::physicalLocks() {
  return verrousPhysiques;
}

const BasicArray<LockManager::T_LogicalLock, const LockManager::T_LogicalLock>&
LockManager::logicalLocks() {
  return verrousLogiques;
}

size_t LockManager::findPhysical(int32_t fd) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < verrousPhysiques.count() && verrousPhysiques[i].fd != fd) ++i;
  return i;
}

const char* LockManager::lockPhysical(int32_t fd, bool readOnly) {
  TRACER_APPEL();
  size_t i = findPhysical(fd);
  bool present = i < verrousPhysiques.count();
  if (present && (readOnly || !verrousPhysiques[i].readOnly)) {
    ++verrousPhysiques[i].count;
    return nullptr;
  }
  if (fd < 0) return nullptr;
  errno = 0;
  if (poserVerrou(fd, readOnly ? F_RDLCK : F_WRLCK) != 0) return MESSAGE_ECHEC_VERROU;
  if (present) {
    // A read lock turned into a write lock: one entry, one more use.
    verrousPhysiques[i].readOnly = false;
    ++verrousPhysiques[i].count;
  } else {
    T_PhysicalLock verrou = {1, false, readOnly, fd};
    verrousPhysiques.add(verrou);
  }
  viderTampons(fd);
  return nullptr;
}

void LockManager::unlockPhysical(int32_t fd) {
  TRACER_APPEL();
  size_t i = findPhysical(fd);
  if (i >= verrousPhysiques.count()) return;
  if (--verrousPhysiques[i].count > 0) return;
  poserVerrou(fd, F_UNLCK);
  verrousPhysiques.remove(i);
}

size_t LockManager::findLogicalPath(const char* path) {
  TRACER_APPEL();
  size_t n = verrousLogiques.count();
  if (!path || path[0] == '\0') return n;
  size_t i = 0;
  while (i < n && strcmp(verrousLogiques[i].path, path) != 0) ++i;
  return i;
}

size_t LockManager::findLogical(int32_t fd) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < verrousLogiques.count() && verrousLogiques[i].fd != fd) ++i;
  return i;
}

int32_t LockManager::fdOfLogicalPath(const char* path) {
  TRACER_APPEL();
  size_t i = findLogicalPath(path);
  return i < verrousLogiques.count() ? verrousLogiques[i].fd : -1;
}

const char* LockManager::lockLogical(const char* path, int32_t& fd, bool& flag, bool& readOnly) {
  TRACER_APPEL();
  flag = false;
  readOnly = false;
  fd = -1;
  size_t i = findLogicalPath(path);
  if (i < verrousLogiques.count()) {
    T_LogicalLock& verrou = verrousLogiques[i];
    fd = verrou.fd;
    flag = verrou.flag;
    readOnly = verrou.readOnly;
    ++verrou.count;
    return nullptr;
  }

  struct stat64 etat;
  errno = 0;
  if (!path || appelsSysteme.stat64(path, &etat) != 0) {
    if (!path) errno = ENOENT;
    return MESSAGE_LECTURE_IMPOSSIBLE;
  }
  if (!ouvrable(etat)) {
    errno = ENOTBLK;
    return MESSAGE_LECTURE_IMPOSSIBLE;
  }
  errno = 0;
  int d = appelsSysteme.open64(path, O_RDWR | O_EXCL | O_NOCTTY);
  if (d < 0) {
    d = appelsSysteme.open64(path, O_RDONLY | O_EXCL | O_NOCTTY);
    if (d >= 0) readOnly = true;
  }
  if (d < 0) return errno == EBUSY ? MESSAGE_ECHEC_VERROU : MESSAGE_LECTURE_IMPOSSIBLE;
  // The node may have been replaced between the stat and the open.
  if (appelsSysteme.fstat64(d, &etat) != 0 || !ouvrable(etat)) {
    appelsSysteme.close(d);
    readOnly = false;
    errno = ENOTBLK;
    return MESSAGE_LECTURE_IMPOSSIBLE;
  }

  errno = 0;
  if (poserVerrou(d, readOnly ? F_RDLCK : F_WRLCK) != 0) {
    int erreur = errno;
    appelsSysteme.close(d);
    errno = erreur;
    return MESSAGE_ECHEC_VERROU;
  }
  T_LogicalLock verrou = {1, d, false, readOnly, xstrdup(path)};
  verrousLogiques.add(verrou);
  if (estMonte(path)) {
    unlockLogicalIndex(verrousLogiques.count() - 1);
    errno = EBUSY;  // the report gives the true reason
    return MESSAGE_SUPPORT_MONTE;
  }
  viderTampons(d);
  fd = d;
  return nullptr;
}

void LockManager::unlockLogicalIndex(size_t index) {
  TRACER_APPEL();
  if (index >= verrousLogiques.count()) return;
  T_LogicalLock& verrou = verrousLogiques[index];
  if (--verrou.count > 0) return;
  poserVerrou(verrou.fd, F_UNLCK);
  appelsSysteme.close(verrou.fd);
  free(verrou.path);
  verrousLogiques.remove(index);
}

void LockManager::unlockLogicalPath(const char* path) {
  TRACER_APPEL();
  unlockLogicalIndex(findLogicalPath(path));
}

void LockManager::unlockLogical(int32_t fd) {
  TRACER_APPEL();
  unlockLogicalIndex(findLogical(fd));
}
