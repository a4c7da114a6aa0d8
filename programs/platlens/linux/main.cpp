#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "platform/linux/demarrage.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/services.h"
#include "programs/platlens/platlens.h"
#include "storage/plateforme.h"

int main(int argc, char** argv) {
  TRACER_APPEL();
  // Each routine registers its own exit function: they run last-first.
  installerTraitementErreurs();
  enregistrerNettoyageMemoire();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  verifierSysteme();
  return executerPlatlens(argc, argv);
}
