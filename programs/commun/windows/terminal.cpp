#include <io.h>

#include "core/arbre_appel.h"
#include "programs/commun/frontal.h"

// A Windows console program always has its window: nothing to relaunch.
void relancerDansTerminal(int, char* const*) {}

bool entreeSortieTerminaux() {
  TRACER_APPEL();
  return _isatty(0) && _isatty(1);
}
