#include "platform/windows/presse_papier.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "platform/windows/appels_windows.h"

namespace {

void* contenu = nullptr;
uint64_t longueur = 0;
bool binaire = false;
bool sortieEnregistree = false;

void enregistrerSortie() {
  TRACER_APPEL();
  if (sortieEnregistree) return;
  sortieEnregistree = true;
  ajouterFonctionSortie(nettoyerPressePapier);
}

// The text and its NUL into a movable block handed to the clipboard, which
// owns it once SetClipboardData accepts it.
void deposer(const char* texte) {
  TRACER_APPEL();
  size_t n = strlen(texte) + 1;
  HGLOBAL bloc = appelsWindows.GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n);
  if (bloc == nullptr) return;
  void* zone = appelsWindows.GlobalLock(bloc);
  if (zone == nullptr) {
    appelsWindows.GlobalUnlock(bloc);
    appelsWindows.GlobalFree(bloc);
    return;
  }
  memcpy(zone, texte, n);
  appelsWindows.SetLastError(0);
  // 0 with no error: the block is unlocked for good.
  bool deverrouille = !appelsWindows.GlobalUnlock(bloc) && appelsWindows.GetLastError() == 0;
  if (!deverrouille || appelsWindows.SetClipboardData(CF_TEXT, bloc) == nullptr)
    appelsWindows.GlobalFree(bloc);
}

}  // namespace

void copierTextePressePapier(const char* texte) {
  TRACER_APPEL();
  if (texte == nullptr || texte != contenu) {
    viderPressePapier();
    if (texte != nullptr && appelsWindows.OpenClipboard(nullptr)) {
      if (appelsWindows.EmptyClipboard()) deposer(texte);
      appelsWindows.CloseClipboard();
    }
  }
  enregistrerSortie();
}

void copierDonneesPressePapier(const void* octets, uint64_t n) {
  TRACER_APPEL();
  enregistrerSortie();
  if (octets != nullptr && octets == contenu) return;
  // The copy comes first: the bytes may lie inside the old content. System
  // allocator: a refusal leaves the clipboard empty.
  char* copie = nullptr;
  if (octets != nullptr && n != 0 && n < SIZE_MAX) copie = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (copie != nullptr) {
    memcpy(copie, octets, static_cast<size_t>(n));
    copie[n] = '\0';
  }
  viderPressePapier();
  if (copie == nullptr) return;
  contenu = copie;
  longueur = n;
  binaire = true;
}

void viderPressePapier() {
  TRACER_APPEL();
  if (contenu != nullptr && !estSortieUrgence()) free(contenu);
  contenu = nullptr;
  longueur = 0;
  binaire = false;
}

void nettoyerPressePapier() {
  TRACER_APPEL();
  viderPressePapier();
}

bool pressePapierNonVide() { return contenu != nullptr; }

bool pressePapierContientTexte() { return contenu != nullptr && !binaire; }

const void* contenuPressePapier() { return contenu; }

uint64_t longueurPressePapier() { return longueur; }

namespace {

// The system clipboard's text, kept as a malloc'd copy with its NUL; an
// empty clipboard or one without text leaves the kept content as it was.
void lireTexteSysteme() {
  TRACER_APPEL();
  if (!appelsWindows.OpenClipboard(nullptr)) return;
  HANDLE bloc = appelsWindows.GetClipboardData(CF_TEXT);
  if (bloc != nullptr) {
    const char* texte = static_cast<const char*>(appelsWindows.GlobalLock(bloc));
    if (texte != nullptr && texte[0] != '\0') {
      viderPressePapier();
      size_t n = strlen(texte);
      char* copie = static_cast<char*>(malloc(n + 1));
      if (copie != nullptr) {
        memcpy(copie, texte, n + 1);
        contenu = copie;
        longueur = n;
        binaire = false;
      }
    }
    if (texte != nullptr) appelsWindows.GlobalUnlock(bloc);
  }
  appelsWindows.CloseClipboard();
}

}  // namespace

bool lireTextePressePapier() {
  TRACER_APPEL();
  lireTexteSysteme();
  enregistrerSortie();
  return contenu != nullptr && !binaire;
}

bool lirePressePapier() {
  TRACER_APPEL();
  if (contenu == nullptr || !binaire) {
    lireTexteSysteme();
    enregistrerSortie();
  }
  return contenu != nullptr;
}
