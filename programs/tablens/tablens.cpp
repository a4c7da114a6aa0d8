#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/options.h"
#include "programs/commun/frontal.h"
#include "programs/tablens/tablens.h"
#include "storage/plateforme.h"

int executerTablens(int argc, char* const* argv) {
  TRACER_APPEL();
  definirProgramme(NOM_VERSION_TABLENS, USAGE_TABLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  T_LigneCommandeTablens ligne;
  lireLigneCommandeTablens(argc, argv, &ligne);

  uint8_t premier = 0;
  uint8_t fin;
  if (ligne.disqueDonne) {
    premier = ligne.disque;
    fin = static_cast<uint8_t>(ligne.disque + 1);
  } else {
    fin = nombreDisques();
    afficherMessage("Number of disks: %u.\n\n", static_cast<unsigned>(fin));
  }

  OptionsTablens* options =
      new OptionsTablens(ligne.accesStandard, ligne.etendreTaille, ligne.modeHs, ligne.tetesHs,
                         ligne.secteursHs, ligne.modeC, ligne.cylindresC);
  afficherDisques(premier, fin, ligne.etendreTaille);
  pauseFinale(sansTerminal);
  delete options;
  return 0;
}
