#include "platform/windows/presse_papier.h"

#include <windows.h>

#include <cstring>

#include "core/arbre_appel.h"
#include "platform/windows/appels_windows.h"

namespace {

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
  if (texte == nullptr || texte != contenuPressePapier()) {
    viderPressePapier();
    if (texte != nullptr && appelsWindows.OpenClipboard(nullptr)) {
      if (appelsWindows.EmptyClipboard()) deposer(texte);
      appelsWindows.CloseClipboard();
    }
  }
  enregistrerSortiePressePapier();
}

namespace {

// The system clipboard's text, kept as a malloc'd copy with its NUL; an
// empty clipboard or one without text leaves the kept content as it was.
void lireTexteSysteme() {
  TRACER_APPEL();
  if (!appelsWindows.OpenClipboard(nullptr)) return;
  HANDLE bloc = appelsWindows.GetClipboardData(CF_TEXT);
  if (bloc != nullptr) {
    const char* texte = static_cast<const char*>(appelsWindows.GlobalLock(bloc));
    if (texte != nullptr && texte[0] != '\0') garderPressePapier(texte, strlen(texte), false);
    if (texte != nullptr) appelsWindows.GlobalUnlock(bloc);
  }
  appelsWindows.CloseClipboard();
}

}  // namespace

bool lireTextePressePapier() {
  TRACER_APPEL();
  lireTexteSysteme();
  enregistrerSortiePressePapier();
  return pressePapierContientTexte();
}

bool lirePressePapier() {
  TRACER_APPEL();
  // Kept bytes are not read over.
  if (!pressePapierNonVide() || pressePapierContientTexte()) {
    lireTexteSysteme();
    enregistrerSortiePressePapier();
  }
  return pressePapierNonVide();
}
