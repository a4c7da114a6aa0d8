// Stand-ins until the Windows lock manager is built: the Windows builds list
// no disk yet, and a name they cannot lock is never reported as locked.
#include "programs/tablens/verrous_noms.h"

#include "core/arbre_appel.h"
#include "core/format.h"

const char* const NOM_SYSTEME_TABLENS = "Windows";

const char* verrouillerNom(const char*, bool* lectureSeule) {
  TRACER_APPEL();
  *lectureSeule = false;
  return "Locks are not available in this build.";
}

void deverrouillerNom(const char*) {}

void signalerRefusVerrou(const char* message) {
  TRACER_APPEL();
  afficherMessage("cannot be locked: %s\n", message);
}
