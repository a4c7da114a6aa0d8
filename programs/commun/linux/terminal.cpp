#include "core/arbre_appel.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/demarrage.h"
#include "programs/commun/frontal.h"

void relancerDansTerminal(int argc, char* const* argv) {
  TRACER_APPEL();
  static const char* const sansTerminal[] = {"-noterm"};
  lancerTerminal(nullptr, nullptr, argc, argv, -1, -1, 1, sansTerminal);
}

bool entreeSortieTerminaux() {
  TRACER_APPEL();
  return appelsSysteme.isatty(0) && appelsSysteme.isatty(1);
}
