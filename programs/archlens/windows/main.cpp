#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "programs/archlens/windows/execution.h"
#include "storage/plateforme.h"

int main(int argc, char** argv) {
  TRACER_APPEL();
  // Each routine registers its own exit function: they run last-first.
  installerTraitementErreurs();
  ouvrirVwin32();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  initialiserModeErreur();
  return executerArchlens(argc, argv);
}
