// Exit-function list, the fatal path and the signal handling.
#pragma once
#include <cstddef>

typedef void (*T_FonctionSortie)();

const unsigned ERREUR_TEXTE_SYSTEME = 1;  // append strerror of errno
const unsigned ERREUR_ARBRE_APPEL = 2;    // print the call tree

const size_t NOMBRE_MAX_FONCTIONS_SORTIE = 64;
const size_t TAILLE_BLOC_RESERVE = 0x20000;

// Start-up: ring base, signal handlers (Linux), exit functions at exit,
// reserve block. The Windows body is in the platform layer.
void installerTraitementErreurs();
// Start-up step of both installers: the zero-filled reserve block (null when
// refused).
void allouerBlocReserve();

// The 65th registration is fatal.
void ajouterFonctionSortie(T_FonctionSortie fonction);
// Frees the reserve block, then runs the list last-first, each function taken
// off before it runs; harmless when repeated.
void executerFonctionsSortie();

// Runs the exit functions, prints "Error: " and the message (flags: system
// error text, call tree), pauses, exits with the status. A null message
// prints nothing and does not pause.
[[noreturn]] void erreurFatale(const char* message, unsigned drapeaux, int statut);
// Fatal "Unexpected call to" the named function, with the call tree.
[[noreturn]] void appelInattendu(const char* nom);

// Handler of every caught signal: exit functions, report, status 255.
void traitementSignal(int signal);
// Handler while a signal is being handled: status 255 at once.
void sortieSignalRepete(int signal);

// Busy flag, read by the Windows console handler.
void marquerSortie(unsigned char valeur);
bool estMarqueSortie();
// True once a fatal signal arrived: nothing may be freed any more.
bool estSortieUrgence();
// Sets that flag: the Windows exception filter's first step.
void declarerSortieUrgence();

extern "C" [[noreturn]] void __cxa_pure_virtual() noexcept;
