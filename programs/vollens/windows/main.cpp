#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "platform/windows/heure.h"
#include "platform/windows/lecteurs.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "programs/commun/frontal.h"
#include "programs/vollens/vollens.h"
#include "programs/vollens/windows/detection.h"
#include "storage/plateforme.h"

namespace {

// The drive letter in upper case, 0 when none is given: one argument that
// is not an option of the program, a character from 'A' to 'z' alone or
// followed by ':'.
char lireLigneCommande(int argc, char* const* argv) {
  TRACER_APPEL();
  char lettre = 0;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (lireOptionCommune(argument)) continue;
    if (lettre != 0) afficherUsage("Bad number of arguments.");
    char c = argument[0];
    bool forme = c >= 'A' && c <= 'z' &&
                 (argument[1] == '\0' || (argument[1] == ':' && argument[2] == '\0'));
    if (!forme) afficherUsage("Wrong drive name argument.");
    lettre = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return lettre;
}

void detecter(char lettre) {
  TRACER_APPEL();
  afficherMessage("Detection for drive %c:\n", lettre);
  if (estWindowsNT()) {
    detecterLecteurNT(lettre);
  } else {
    detecterLecteur9x(lettre);
  }
  pauseEcran(true);
  afficherMessage("\n");
}

}  // namespace

int main(int argc, char** argv) {
  TRACER_APPEL();
  // Each routine registers its own exit function: they run last-first.
  installerTraitementErreurs();
  ouvrirVwin32();
  initialiserTransferts();
  enregistrerNettoyagePlateforme();
  initialiserModeErreur();
  initialiserDecalageHoraire();

  definirProgramme(NOM_VERSION_VOLLENS, USAGE_VOLLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  char lettre = lireLigneCommande(argc, argv);
  if (lettre != 0) {
    detecter(lettre);
  } else {
    uint32_t n = nombreLettresLecteurs();
    afficherMessage("Testing %u drives.\n\n", static_cast<unsigned>(n));
    if (n == 0) pauseDemandee = false;
    for (uint32_t i = 0; i < n; ++i) detecter(lettreLecteur(i));
  }
  // The last drive's -p pause already keeps the window open.
  pauseFinale(sansTerminal && !pauseDemandee);
  return 0;
}
