// Temporary body: replaced by the ring.
#include "core/arbre_appel.h"

alignas(256) static uint8_t anneau[512];
uint8_t* positionArbreAppel = anneau;
T_InstantaneArbre instantaneArbreAppel;
bool arbreAppelAffiche;
void marquerBaseArbreAppel() {}
size_t lireArbreAppel(T_EntreeArbre*) { return 0; }
void prendreInstantaneArbreAppel() {}
void afficherArbreAppel() {}
