#include "platform/windows/services.h"

#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/memoire.h"
#include "platform/windows/appels_windows.h"
#include "storage/plateforme.h"

namespace {

struct Cache {
  bool calcule;
  bool valeur;
};

Cache cacheNT, cache2000, cacheXP, cacheVista, cacheSysteme;

HMODULE moduleKernel32 = nullptr;
bool kernel32Tente = false;
T_PointsEntreeKernel32 pointsEntree;

// Written by the console handler's thread, read by the main thread.
volatile bool arretDemande = false;


// 148 bytes: the form every Windows version accepts.
bool lireVersionSysteme(OSVERSIONINFOA* version) {
  TRACER_APPEL();
  memset(version, 0, sizeof *version);
  version->dwOSVersionInfoSize = sizeof *version;
  return appelsWindows.GetVersionExA(version) != FALSE;
}

bool versionCachee(Cache& cache, unsigned majeur, unsigned mineur) {
  TRACER_APPEL();
  if (!cache.calcule) {
    cache.valeur = versionWindowsAuMoins(majeur, mineur);
    cache.calcule = true;
  }
  return cache.valeur;
}

// FARPROC has its own signature: copying the pointer avoids a cast between
// unrelated function types.
template <typename T>
T pointEntree(const char* nom) {
  TRACER_APPEL();
  FARPROC p = appelsWindows.GetProcAddress(moduleKernel32, nom);
  T r;
  static_assert(sizeof r == sizeof p, "function pointers of one size");
  memcpy(&r, &p, sizeof r);
  return r;
}

}  // namespace

bool estWindowsNT() {
  TRACER_APPEL();
  if (!cacheNT.calcule) {
    OSVERSIONINFOA version;
    cacheNT.valeur = lireVersionSysteme(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    cacheNT.calcule = true;
  }
  return cacheNT.valeur;
}

bool versionWindowsAuMoins(unsigned majeur, unsigned mineur) {
  TRACER_APPEL();
  OSVERSIONINFOA version;
  if (!lireVersionSysteme(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
  return version.dwMajorVersion > majeur ||
         (version.dwMajorVersion == majeur && version.dwMinorVersion >= mineur);
}

bool estWindows2000OuPlus() { return versionCachee(cache2000, 5, 0); }
bool estWindowsXPOuPlus() { return versionCachee(cacheXP, 5, 1); }
bool estWindowsVistaOuPlus() { return versionCachee(cacheVista, 6, 0); }

bool estSystemeWindows() {
  TRACER_APPEL();
  if (!cacheSysteme.calcule) {
    cacheSysteme.valeur = true;
    cacheSysteme.calcule = true;
  }
  return cacheSysteme.valeur;
}

void chargerKernel32() {
  TRACER_APPEL();
  if (kernel32Tente) return;
  kernel32Tente = true;
  moduleKernel32 = appelsWindows.LoadLibraryA("kernel32.dll");
  if (moduleKernel32 == nullptr) return;
  pointsEntree.findFirstVolumeA = pointEntree<T_FindFirstVolumeA>("FindFirstVolumeA");
  pointsEntree.findNextVolumeA = pointEntree<T_FindNextVolumeA>("FindNextVolumeA");
  pointsEntree.findVolumeClose = pointEntree<T_FindVolumeClose>("FindVolumeClose");
  // The enumeration is usable whole or not at all.
  if (!pointsEntree.findFirstVolumeA || !pointsEntree.findNextVolumeA ||
      !pointsEntree.findVolumeClose) {
    pointsEntree.findFirstVolumeA = nullptr;
    pointsEntree.findNextVolumeA = nullptr;
    pointsEntree.findVolumeClose = nullptr;
  }
  pointsEntree.getDiskFreeSpaceExA = pointEntree<T_GetDiskFreeSpaceExA>("GetDiskFreeSpaceExA");
  pointsEntree.getUserDefaultUILanguage =
      pointEntree<T_GetUserDefaultUILanguage>("GetUserDefaultUILanguage");
  pointsEntree.getVolumePathNamesForVolumeNameA =
      pointEntree<T_GetVolumePathNamesForVolumeNameA>("GetVolumePathNamesForVolumeNameA");
}

void dechargerKernel32() {
  TRACER_APPEL();
  if (moduleKernel32 == nullptr) return;
  appelsWindows.FreeLibrary(moduleKernel32);
  moduleKernel32 = nullptr;
}

const T_PointsEntreeKernel32& pointsEntreeKernel32() { return pointsEntree; }

void initialiserModeErreur() {
  TRACER_APPEL();
  arretDemande = false;
  appelsWindows.SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ajouterFonctionSortie(dechargerKernel32);
}

void convertirSeparateurs(char* texte) {
  TRACER_APPEL();
  if (texte == nullptr) return;
  for (char* c = texte; *c; ++c)
    if (*c == '/') *c = '\\';
}

BOOL WINAPI signalArret(DWORD evenement) {
  TRACER_APPEL();
  if (evenement == CTRL_SHUTDOWN_EVENT) arretDemande = true;
  return FALSE;
}

bool estArretDemande() { return arretDemande; }
void effacerArretDemande() { arretDemande = false; }

void nettoyerMemoire() {}

void enregistrerNettoyageMemoire() {
  TRACER_APPEL();
  ajouterFonctionSortie(nettoyerMemoire);
}

uint64_t memoireLibreSysteme() {
  TRACER_APPEL();
  MEMORYSTATUS etat;
  memset(&etat, 0, sizeof etat);
  etat.dwLength = sizeof etat;
  appelsWindows.GlobalMemoryStatus(&etat);
  return etat.dwAvailPhys;
}

