#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/texte.h"
#include "platform/linux/demarrage.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/services.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"

int main(int argc, char** argv) {
  TRACER_APPEL();
  vidageSecteurs = false;
  // Each routine registers its own exit function: they run last-first, the
  // saved-geometry cache released last of all.
  Disque::initialiserListe();
  installerTraitementErreurs();
  enregistrerNettoyageMemoire();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  verifierSysteme();
  SupportBlocManager::installReleaseAtExit();
  return executerTablens(argc, argv);
}
