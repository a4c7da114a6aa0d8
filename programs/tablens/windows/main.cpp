#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/texte.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/plateforme.h"
#include "storage/support_bloc_manager.h"

int main(int argc, char** argv) {
  TRACER_APPEL();
  vidageSecteurs = false;
  // Each routine registers its own exit function: they run last-first, the
  // saved-geometry cache released last of all. No memory budget and no
  // system version check on Windows; a console program needs no relaunch.
  Disque::initialiserListe();
  installerTraitementErreurs();
  ouvrirVwin32();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  initialiserModeErreur();
  SupportBlocManager::installReleaseAtExit();
  return executerTablens(argc, argv);
}
