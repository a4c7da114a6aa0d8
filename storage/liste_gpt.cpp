// The GPT reading behind a protective MBR. Until it is built every GPT is
// refused, so a protective MBR lists its single 0xEE partition.
#include "core/arbre_appel.h"
#include "storage/disque.h"

T_ListePartitions Disque::listePartitionsGPT(Disque*, bool* valide, T_SecteursTable* secteurs,
                                             bool) {
  TRACER_APPEL();
  if (secteurs) secteurs->clear();
  if (valide) *valide = false;
  return T_ListePartitions();
}
