#include "programs/archlens/windows/execution.h"

#include <windows.h>

#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/erreurs_systeme.h"
#include "platform/windows/services.h"
#include "programs/archlens/archlens.h"
#include "programs/commun/frontal.h"

namespace {

// GetLastError saved as a Windows error, then its report.
void signalerErreur() {
  TRACER_APPEL();
  memoriserErreurSysteme();
  afficherErreurSysteme();
}

// Exactly nombre bytes, else the message, the report, the handle closed.
bool lireFichier(HANDLE fichier, void* tampon, uint32_t nombre, const char* message) {
  TRACER_APPEL();
  appelsWindows.SetLastError(0);
  DWORD lus = 0;
  if (appelsWindows.ReadFile(fichier, tampon, nombre, &lus, nullptr) && lus == nombre) return true;
  memoriserErreurSysteme();
  afficherMessage("%s\n", message);
  afficherErreurSysteme();
  appelsWindows.CloseHandle(fichier);
  return false;
}

// To an absolute offset (0, 104 or 124); a failure is a warning.
void positionnerFichier(HANDLE fichier, uint64_t position) {
  TRACER_APPEL();
  appelsWindows.SetLastError(0);
  LONG haut = 0;
  DWORD bas = appelsWindows.SetFilePointer(fichier, static_cast<LONG>(position & 0xFFFFFFFFu),
                                           &haut, FILE_BEGIN);
  memoriserErreurSysteme();
  if (erreurSysteme() != 0 || bas != static_cast<DWORD>(position) || haut != 0) {
    afficherMessage("Warning seeking file to %llu:\n", static_cast<unsigned long long>(position));
    afficherErreurSysteme();
  }
}

class FichierWindows : public FichierArchlens {
 public:
  explicit FichierWindows(HANDLE fichier) : fichier_(fichier) {}

  bool lire(void* tampon, uint32_t nombre, const char* message) override {
    return lireFichier(fichier_, tampon, nombre, message);
  }
  void positionner(uint64_t position) override { positionnerFichier(fichier_, position); }
  bool lireDonnees(void* tampon, uint32_t nombre, uint32_t* lus) override {
    TRACER_APPEL();
    appelsWindows.SetLastError(0);
    DWORD n = 0;
    BOOL reussi = appelsWindows.ReadFile(fichier_, tampon, nombre, &n, nullptr);
    memoriserErreurSysteme();
    *lus = reussi ? n : 0;
    return reussi != FALSE;
  }
  void afficherErreur() override { afficherErreurSysteme(); }
  void fermer() override { appelsWindows.CloseHandle(fichier_); }

 private:
  HANDLE fichier_;
};

// The name in UTF-16 from the ANSI code page, so that a name outside ASCII
// names the same file as on the command line; byte by byte when the page
// refuses it.
wchar_t* nomLarge(const char* nom) {
  TRACER_APPEL();
  int longueur = appelsWindows.MultiByteToWideChar(CP_ACP, 0, nom, -1, nullptr, 0);
  if (longueur > 0) {
    wchar_t* large = static_cast<wchar_t*>(xmalloc(sizeof(wchar_t) * static_cast<size_t>(longueur)));
    if (appelsWindows.MultiByteToWideChar(CP_ACP, 0, nom, -1, large, longueur) == longueur) {
      return large;
    }
    free(large);
  }
  size_t n = 0;
  while (nom[n] != '\0') ++n;
  wchar_t* large = static_cast<wchar_t*>(xmalloc(sizeof(wchar_t) * (n + 1)));
  for (size_t i = 0; i <= n; ++i) large[i] = static_cast<unsigned char>(nom[i]);
  return large;
}

// The attribute check (a warning only), then the open for reading.
HANDLE ouvrirFichier(const char* nom) {
  TRACER_APPEL();
  const DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD drapeaux = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS;
  HANDLE fichier;
  DWORD attributs;
  if (estWindowsNT()) {
    wchar_t* large = nomLarge(nom);
    // Cleared after the conversion, so that the report is the query's own.
    appelsWindows.SetLastError(0);
    attributs = appelsWindows.GetFileAttributesW(large);
    if (attributs == INVALID_FILE_ATTRIBUTES) {
      afficherMessage("Warning checking file access.\n");
      signalerErreur();
    }
    appelsWindows.SetLastError(0);
    fichier = appelsWindows.CreateFileW(large, GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                                        drapeaux, nullptr);
    free(large);
  } else {
    appelsWindows.SetLastError(0);
    attributs = appelsWindows.GetFileAttributesA(nom);
    if (attributs == INVALID_FILE_ATTRIBUTES) {
      afficherMessage("Warning checking file access.\n");
      signalerErreur();
    }
    appelsWindows.SetLastError(0);
    fichier = appelsWindows.CreateFileA(nom, GENERIC_READ, partage, nullptr, OPEN_EXISTING,
                                        drapeaux, nullptr);
  }
  if (fichier == INVALID_HANDLE_VALUE) {
    memoriserErreurSysteme();
    afficherMessage("Error opening %s.\n", nom);
    afficherErreurSysteme();
    afficherUsage(nullptr);
  }
  return fichier;
}

}  // namespace

int executerArchlens(int argc, char** argv) {
  TRACER_APPEL();
  definirProgramme(NOM_VERSION_ARCHLENS, USAGE_ARCHLENS);
  bool sansTerminal = ouvrirLigneCommande(argc, argv);
  T_LigneCommandeArchlens ligne;
  lireLigneCommandeArchlens(argc, argv, &ligne);
  HANDLE fichier = ouvrirFichier(ligne.nomFichier);

  // The last error is cleared first: a length whose low part is 0xFFFFFFFF
  // is a failure only when the call leaves an error.
  appelsWindows.SetLastError(0);
  DWORD haut = 0;
  DWORD bas = appelsWindows.GetFileSize(fichier, &haut);
  uint64_t longueur = LONGUEUR_INCONNUE;
  bool connue = false;
  if (bas == INVALID_FILE_SIZE && appelsWindows.GetLastError() != 0) {
    afficherMessage("Warning getting file size.\n");
    signalerErreur();
  } else {
    longueur = (uint64_t{haut} << 32) | bas;
    connue = true;
  }
  FichierWindows lecture(fichier);
  return examinerSauvegarde(&lecture, longueur, connue, ligne.verifier, sansTerminal);
}
