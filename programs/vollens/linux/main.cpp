#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "platform/linux/demarrage.h"
#include "platform/linux/heure.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/peripheriques_declares.h"
#include "platform/linux/services.h"
#include "programs/commun/frontal.h"
#include "programs/vollens/linux/detection.h"
#include "programs/vollens/vollens.h"
#include "storage/plateforme.h"

namespace {

// The device path: the one argument that is not an option of the program
// (a path beginning with '/' included).
const char* lireLigneCommande(int argc, char* const* argv) {
  TRACER_APPEL();
  const char* peripherique = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (lireOptionCommune(argv[i])) continue;
    if (peripherique != nullptr) afficherUsage("Bad number of arguments.");
    peripherique = argv[i];
  }
  return peripherique;
}

void detecter(const char* chemin) {
  TRACER_APPEL();
  detecterPeripherique(chemin);
  pauseEcran(true);
  afficherMessage("\n");
}

}  // namespace

int main(int argc, char** argv) {
  TRACER_APPEL();
  // Each routine registers its own exit function: they run last-first.
  installerTraitementErreurs();
  enregistrerNettoyageMemoire();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  verifierSysteme();
  initialiserDecalageHoraire();

  definirProgramme(NOM_VERSION_VOLLENS, USAGE_VOLLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  const char* peripherique = lireLigneCommande(argc, argv);
  if (peripherique != nullptr) {
    detecter(peripherique);
  } else {
    uint32_t n = listerPeripheriquesDeclares();
    afficherMessage("Testing %u drives.\n\n", static_cast<unsigned>(n));
    // Without a device the -p pause gives way to the final one.
    if (n == 0) pauseDemandee = false;
    for (uint32_t i = 0; i < n; ++i) {
      const char* chemin = peripheriqueDeclare(i);
      if (chemin != nullptr) detecter(chemin);
    }
  }
  // The last device's -p pause already keeps the window open.
  pauseFinale(sansTerminal && !pauseDemandee);
  return 0;
}
