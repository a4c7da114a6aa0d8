// The names of a Windows partition are drive paths ("E:"), locked as
// volumes, and volume names, locked as logical paths.
#include "programs/tablens/verrous_noms.h"

#include "core/arbre_appel.h"
#include "core/format.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/lock_manager.h"

const char* const NOM_SYSTEME_TABLENS = "Windows";

namespace {
bool estLecteur(const char* nom) { return nom[0] != '\0' && nom[1] == ':'; }
}  // namespace

const char* verrouillerNom(const char* nom, bool* lectureSeule) {
  TRACER_APPEL();
  bool lecture = false;
  const char* refus;
  if (estLecteur(nom)) {
    T_AccesDisque cle;
    bool forme48 = false;
    refus = LockManager::lockVolume(nom[0], &cle, &forme48, &lecture);
  } else {
    HANDLE handle = INVALID_HANDLE_VALUE;
    refus = LockManager::lockLogical(nom, &handle, &lecture);
  }
  *lectureSeule = lecture;
  return refus;
}

void deverrouillerNom(const char* nom) {
  TRACER_APPEL();
  if (estLecteur(nom))
    LockManager::unlockVolumeLetter(nom[0]);
  else
    LockManager::unlockLogicalPath(nom);
}

void signalerRefusVerrou(const char* nom, const char* message) {
  TRACER_APPEL();
  // Saved before anything is printed; the DOS flag set, as the lock left it.
  memoriserErreurDOS();
  afficherMessage("cannot be locked: %s\n", message);
  afficherErreurSysteme();
  if (estLecteur(nom)) afficherFichiersOuverts(nom[0], message);
}
