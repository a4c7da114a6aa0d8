#include "programs/tablens/verrous_noms.h"

#include <cstdint>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "platform/linux/lock_manager.h"
#include "platform/linux/services.h"

const char* const NOM_SYSTEME_TABLENS = "Linux";

const char* verrouillerNom(const char* nom, bool* lectureSeule) {
  TRACER_APPEL();
  int32_t fd = -1;
  bool drapeau = false;
  bool lecture = false;
  const char* refus = LockManager::lockLogical(nom, fd, drapeau, lecture);
  *lectureSeule = lecture;
  return refus;
}

void deverrouillerNom(const char* nom) {
  TRACER_APPEL();
  LockManager::unlockLogicalPath(nom);
}

void signalerRefusVerrou(const char*, const char* message) {
  TRACER_APPEL();
  // Saved before anything is printed, which could change errno.
  memoriserErreurSysteme();
  afficherMessage("cannot be locked: %s\n", message);
  afficherErreurSysteme();
}
