#include "core/memoire.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"

void refuserAllocation(uint64_t octets) {
  TRACER_APPEL();
  // During an emergency exit any allocation attempt ends the process silently.
  if (estSortieUrgence()) _Exit(255);
  char message[128];
  formaterMessage(message, sizeof message, "Not enough memory to allocate " FMT_U64 " bytes.",
                  octets);
  erreurFatale(message, 0, 1);
}

// After a fatal signal the heap may be inconsistent: end silently, running
// nothing that could touch it.
static void refuserSiUrgence() {
  if (estSortieUrgence()) _Exit(255);
}

void* xmalloc(size_t taille) {
  TRACER_APPEL();
  refuserSiUrgence();
  if (taille == 0) taille = 1;
  void* bloc = taille > TAILLE_MAX_ALLOCATION ? nullptr : malloc(taille);
  if (!bloc) refuserAllocation(taille);
  return bloc;
}

void* xrealloc(void* bloc, size_t taille) {
  TRACER_APPEL();
  refuserSiUrgence();
  if (taille == 0) taille = 1;
  void* nouveau = taille > TAILLE_MAX_ALLOCATION ? nullptr : realloc(bloc, taille);
  if (!nouveau) refuserAllocation(taille);
  return nouveau;
}

char* xstrdup(const char* texte) {
  TRACER_APPEL();
  refuserSiUrgence();
  if (!texte) return nullptr;
  char* copie = strdup(texte);
  if (!copie) refuserAllocation(strlen(texte));
  return copie;
}

static bool estPuissanceDeDeux(size_t valeur) { return valeur != 0 && (valeur & (valeur - 1)) == 0; }

void allouerAligne(T_BlocAligne* resultat, size_t taille, size_t alignement) {
  TRACER_APPEL();
  resultat->bloc = nullptr;
  resultat->aligne = nullptr;
  if (!estPuissanceDeDeux(alignement) || taille > TAILLE_MAX_ALLOCATION - 1 ||
      alignement > TAILLE_MAX_ALLOCATION - taille) {
    erreurFatale("function not implemented", ERREUR_ARBRE_APPEL, 1);
  }
  resultat->bloc = xmalloc(taille + alignement - 1);
  uintptr_t adresse = reinterpret_cast<uintptr_t>(resultat->bloc);
  resultat->aligne = static_cast<char*>(resultat->bloc) + ((alignement - adresse % alignement) % alignement);
}

void libererAligne(T_BlocAligne* bloc) {
  TRACER_APPEL();
  if (bloc->bloc && !estSortieUrgence()) free(bloc->bloc);
}

// Global new and delete.

static void liberer(void* bloc) {
  TRACER_APPEL();
  if (bloc && !estSortieUrgence()) free(bloc);
}

// Over-aligned blocks keep the address to free just below the aligned one.
static void* allouerPourNew(size_t taille, std::align_val_t alignementDemande) {
  TRACER_APPEL();
  size_t alignement = static_cast<size_t>(alignementDemande);
  if (alignement < sizeof(void*)) alignement = sizeof(void*);
  if (!estPuissanceDeDeux(alignement) || alignement > TAILLE_MAX_ALLOCATION) refuserAllocation(taille);
  size_t marge = alignement - 1 + sizeof(void*);
  if (taille > TAILLE_MAX_ALLOCATION - marge) refuserAllocation(taille);
  char* bloc = static_cast<char*>(xmalloc(taille + marge));
  uintptr_t debut = reinterpret_cast<uintptr_t>(bloc) + sizeof(void*);
  char* aligne = bloc + sizeof(void*) + ((alignement - debut % alignement) % alignement);
  memcpy(aligne - sizeof(void*), &bloc, sizeof bloc);
  return aligne;
}

static void libererPourNew(void* aligne) {
  TRACER_APPEL();
  if (!aligne) return;
  void* bloc;
  memcpy(&bloc, static_cast<char*>(aligne) - sizeof(void*), sizeof bloc);
  liberer(bloc);
}

void* operator new(size_t taille) { return xmalloc(taille); }
void* operator new[](size_t taille) { return xmalloc(taille); }
void* operator new(size_t taille, const std::nothrow_t&) noexcept { return xmalloc(taille); }
void* operator new[](size_t taille, const std::nothrow_t&) noexcept { return xmalloc(taille); }
void* operator new(size_t taille, std::align_val_t a) { return allouerPourNew(taille, a); }
void* operator new[](size_t taille, std::align_val_t a) { return allouerPourNew(taille, a); }
void* operator new(size_t taille, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allouerPourNew(taille, a);
}
void* operator new[](size_t taille, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allouerPourNew(taille, a);
}

void operator delete(void* bloc) noexcept { liberer(bloc); }
void operator delete[](void* bloc) noexcept { liberer(bloc); }
void operator delete(void* bloc, size_t) noexcept { liberer(bloc); }
void operator delete[](void* bloc, size_t) noexcept { liberer(bloc); }
void operator delete(void* bloc, const std::nothrow_t&) noexcept { liberer(bloc); }
void operator delete[](void* bloc, const std::nothrow_t&) noexcept { liberer(bloc); }
void operator delete(void* bloc, std::align_val_t) noexcept { libererPourNew(bloc); }
void operator delete[](void* bloc, std::align_val_t) noexcept { libererPourNew(bloc); }
void operator delete(void* bloc, size_t, std::align_val_t) noexcept { libererPourNew(bloc); }
void operator delete[](void* bloc, size_t, std::align_val_t) noexcept { libererPourNew(bloc); }
void operator delete(void* bloc, std::align_val_t, const std::nothrow_t&) noexcept {
  libererPourNew(bloc);
}
void operator delete[](void* bloc, std::align_val_t, const std::nothrow_t&) noexcept {
  libererPourNew(bloc);
}
