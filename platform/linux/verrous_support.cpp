// The storage model's path locks: logical locks on Linux. Kept in a file of
// their own so that a test suite may link its own stand-in instead.
#include "core/arbre_appel.h"
#include "platform/linux/lock_manager.h"
#include "storage/plateforme.h"

const char* verrouillerCheminSupport(const char* chemin) {
  TRACER_APPEL();
  int32_t fd;
  bool drapeau;
  bool lectureSeule;
  return LockManager::lockLogical(chemin, fd, drapeau, lectureSeule);
}

void deverrouillerCheminSupport(const char* chemin) { LockManager::unlockLogicalPath(chemin); }
