#include "core/arbre_appel.h"
#include "core/format.h"
#include "programs/commun/frontal.h"
#include "programs/platlens/platlens.h"
#include "storage/plateforme.h"

// Apart from the command line so that a program test linking the command
// line does not need the platform's detecterDisque.
int executerPlatlens(int argc, char* const* argv) {
  TRACER_APPEL();
  definirProgramme(NOM_VERSION_PLATLENS, USAGE_PLATLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  T_LigneCommandePlatlens ligne;
  lireLigneCommandePlatlens(argc, argv, &ligne);

  unsigned premier = 0;
  unsigned fin;
  if (ligne.disqueDonne) {
    premier = ligne.disque;
    fin = premier + 1u;
  } else {
    fin = nombreDisques();
    afficherMessage("Number of disks: %u.\n\n", fin);
    // Without a disk the -p pause gives way to the final one.
    if (fin == 0) pauseDemandee = false;
  }
  for (unsigned i = premier; i < fin; ++i) {
    afficherMessage("Detection for disk %u", i);
    detecterDisque(static_cast<uint8_t>(i));
    pauseEcran(true);
    afficherMessage("\n");
  }
  pauseFinale(sansTerminal && !pauseDemandee);
  return 0;
}
