// Temporary body: replaced by the fatal path.
#include "core/erreurs.h"

#include <cstdlib>

#include "core/format.h"

void installerTraitementErreurs() {}
void ajouterFonctionSortie(T_FonctionSortie) {}
void executerFonctionsSortie() {}
void erreurFatale(const char* m, unsigned, int s) { if (m) afficherMessage("%s: %s\n", "Error", m); exit(s); }
void appelInattendu(const char* n) { erreurFatale(n, 2, 1); }
void traitementSignal(int) { exit(255); }
void sortieSignalRepete(int) { exit(255); }
void marquerSortie(unsigned char) {}
bool estSortieUrgence() { return false; }
extern "C" void __cxa_pure_virtual() { exit(255); }
