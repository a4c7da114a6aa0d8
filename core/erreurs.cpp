#include "core/erreurs.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

static T_FonctionSortie fonctionsSortie[NOMBRE_MAX_FONCTIONS_SORTIE];
static size_t nombreFonctionsSortie;
static void* blocReserve;
// Written by the signal handlers.
static volatile bool sortieUrgence;
static volatile unsigned char marqueSortie;

#ifdef _WIN32
static void afficherArbreCourant() { afficherArbreAppelThreadPrincipal(); }
static void armerSignal(int signal, void (*traitement)(int)) { ::signal(signal, traitement); }
#else
static void afficherArbreCourant() { afficherArbreAppel(); }

// Not blocked inside its own handler, so a second arrival reaches the re-armed
// handler at once.
static void armerSignal(int signal, void (*traitement)(int)) {
  TRACER_APPEL();
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = traitement;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER;
  sigaction(signal, &action, nullptr);
}

static const int signauxTraites[] = {SIGABRT, SIGFPE,  SIGILL,  SIGINT,  SIGSEGV, SIGTERM,
                                     SIGQUIT, SIGHUP,  SIGALRM, SIGUSR1, SIGUSR2};

void installerTraitementErreurs() {
  marquerBaseArbreAppel();
  for (int signal : signauxTraites) {
    // A signal the parent made us ignore stays ignored.
    struct sigaction ancienne;
    if (sigaction(signal, nullptr, &ancienne) == 0 && !(ancienne.sa_flags & SA_SIGINFO) &&
        ancienne.sa_handler == SIG_IGN) {
      continue;
    }
    armerSignal(signal, traitementSignal);
  }
  atexit(executerFonctionsSortie);
  allouerBlocReserve();
}
#endif

void allouerBlocReserve() {
  if (!blocReserve) blocReserve = calloc(TAILLE_BLOC_RESERVE, 1);
}

void ajouterFonctionSortie(T_FonctionSortie fonction) {
  TRACER_APPEL();
  if (nombreFonctionsSortie >= NOMBRE_MAX_FONCTIONS_SORTIE) {
    erreurFatale("operation not permitted", ERREUR_ARBRE_APPEL, 1);
  }
  fonctionsSortie[nombreFonctionsSortie++] = fonction;
}

void executerFonctionsSortie() {
  TRACER_APPEL();
  if (blocReserve) {
    void* bloc = blocReserve;
    blocReserve = nullptr;
    if (!sortieUrgence) free(bloc);
  }
  while (nombreFonctionsSortie != 0) {
    --nombreFonctionsSortie;
    fonctionsSortie[nombreFonctionsSortie]();
  }
  marqueSortie = 0;
}

void erreurFatale(const char* message, unsigned drapeaux, int statut) {
  TRACER_APPEL();
  int erreur = errno;
  prendreInstantaneArbreAppel();
  executerFonctionsSortie();
  bool affiche = false;
  if (message) {
    afficherMessage("%s: %s", "Error", message);
    affiche = true;
  }
  if (drapeaux & ERREUR_TEXTE_SYSTEME) {
    afficherMessage("%s\n", strerror(erreur));
    affiche = true;
  } else if (message) {
    afficherMessage("\n");
  }
  if (affiche) attendreRetour();
  if (drapeaux & ERREUR_ARBRE_APPEL) afficherArbreCourant();
  exit(statut);
}

void appelInattendu(const char* nom) {
  const char* texte = nom ? nom : "(null)";
  size_t taille = strlen(texte) + 34;
  char* message = static_cast<char*>(xmalloc(taille));
  formaterMessage(message, taille, "Unexpected call to\n\"%s\"\nfunction.", texte);
  erreurFatale(message, ERREUR_ARBRE_APPEL, 1);
}

// Ends with _Exit: the interrupted code may hold the heap or stdio, so no
// destructor or atexit function may run after the report.
void traitementSignal(int signal) {
  TRACER_APPEL();
  armerSignal(signal, sortieSignalRepete);
  // The heap may be mid-update whatever the signal: from here nothing is freed.
  sortieUrgence = true;
  prendreInstantaneArbreAppel();
  executerFonctionsSortie();
  if (!arbreAppelAffiche) {
    afficherMessage("@traitementSignal: " FMT_ADRESSE ": signal %d\n",
                    reinterpret_cast<uintptr_t>(&traitementSignal), signal);
    afficherArbreCourant();
  }
  _Exit(255);
}

void sortieSignalRepete(int) { _Exit(255); }

void marquerSortie(unsigned char valeur) { marqueSortie = valeur; }
bool estMarqueSortie() { return marqueSortie != 0; }
bool estSortieUrgence() { return sortieUrgence; }
void declarerSortieUrgence() { sortieUrgence = true; }

extern "C" void __cxa_pure_virtual() noexcept {
  prendreInstantaneArbreAppel();
  executerFonctionsSortie();
  afficherMessage("@%s: " FMT_ADRESSE ":\n", "__cxa_pure_virtual",
                  reinterpret_cast<uintptr_t>(&__cxa_pure_virtual));
  afficherArbreCourant();
  exit(255);
}
