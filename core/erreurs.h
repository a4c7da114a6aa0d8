// Exit-function list, the fatal path and the signal handling.
#pragma once
#include <cstddef>

typedef void (*T_FonctionSortie)();

const unsigned ERREUR_TEXTE_SYSTEME = 1;  // append strerror of errno
const unsigned ERREUR_ARBRE_APPEL = 2;    // print the call tree

void installerTraitementErreurs();
void ajouterFonctionSortie(T_FonctionSortie fonction);
void executerFonctionsSortie();
[[noreturn]] void erreurFatale(const char* message, unsigned drapeaux, int statut);
[[noreturn]] void appelInattendu(const char* nom);
void traitementSignal(int signal);
void sortieSignalRepete(int signal);
void marquerSortie(unsigned char valeur);
bool estSortieUrgence();
extern "C" [[noreturn]] void __cxa_pure_virtual();
