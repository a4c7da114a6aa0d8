#include "core/arbre_appel.h"
#include "core/format.h"
#include "programs/commun/frontal.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"

void afficherDisques(uint8_t premier, uint8_t fin, bool etendreTaille) {
  TRACER_APPEL();
  // Refilled by each disk's report, so allocated once for the whole run.
  T_TableauxRapport* tableaux = new T_TableauxRapport();
  for (unsigned i = premier; i < fin; ++i) {
    const uint8_t numero = static_cast<uint8_t>(i);
    Disque* disque = Disque::creer(numero);
    if (disque == nullptr) {
      afficherMessage("Disk %u: error reading format.\n", i);
      pauseEcran(true);
    } else {
      afficherDisque(numero, disque, tableaux, etendreTaille);
    }
    afficherMessage("\n");
  }
  delete tableaux;
}
