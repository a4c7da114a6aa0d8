// Stand-in for the Windows disk creation and drive-letter mapping until
// they replace this file: no disk object is made, no name is attached.
#include "storage/disque.h"

Disque* Disque::creer(uint8_t) { return nullptr; }

void Disque::trouverPeripheriquesPartitions(T_ListePartitions*) {}
