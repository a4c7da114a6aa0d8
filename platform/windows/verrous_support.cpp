// The storage model's path locks on Windows: a volume lock for a drive path
// ("E:"), a logical lock for any other. Kept in a file of their own so that
// a test suite may link its own stand-in instead.
#include "core/arbre_appel.h"
#include "platform/windows/lock_manager.h"
#include "storage/plateforme.h"

namespace {
bool estCheminLecteur(const char* chemin) {
  return chemin != nullptr && chemin[0] != '\0' && chemin[1] == ':';
}
}  // namespace

const char* verrouillerCheminSupport(const char* chemin) {
  TRACER_APPEL();
  if (estCheminLecteur(chemin)) {
    T_AccesDisque cle;
    bool forme48, lectureSeule;
    return LockManager::lockVolume(chemin[0], &cle, &forme48, &lectureSeule);
  }
  HANDLE handle;
  bool lectureSeule;
  return LockManager::lockLogical(chemin, &handle, &lectureSeule);
}

void deverrouillerCheminSupport(const char* chemin) {
  TRACER_APPEL();
  if (estCheminLecteur(chemin))
    LockManager::unlockVolumeLetter(chemin[0]);
  else
    LockManager::unlockLogicalPath(chemin);
}
