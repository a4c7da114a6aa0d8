// Windows system services: the family and version tests, the optional
// kernel32 entry points taken at run time, the error mode, and the Windows
// bodies of the small services the Linux layer has under the same names
// (the memory budget's system side).
#pragma once
#include <windows.h>

#include <cstdint>

#include "storage/budget_memoire.h"

// True on the NT family, false on Windows 9x or when GetVersionExA fails;
// asked once per run.
bool estWindowsNT();
// NT family and at least major.minor; asked every time.
bool versionWindowsAuMoins(unsigned majeur, unsigned mineur);
bool estWindows2000OuPlus();
bool estWindowsXPOuPlus();
bool estWindowsVistaOuPlus();
bool estSystemeWindows();

// Entry points that older systems lack; null when absent. The three volume
// enumeration functions are present together or not at all.
typedef HANDLE(WINAPI* T_FindFirstVolumeA)(LPSTR nom, DWORD taille);
typedef BOOL(WINAPI* T_FindNextVolumeA)(HANDLE recherche, LPSTR nom, DWORD taille);
typedef BOOL(WINAPI* T_FindVolumeClose)(HANDLE recherche);
typedef BOOL(WINAPI* T_GetVolumePathNamesForVolumeNameA)(LPCSTR volume, LPCH noms, DWORD taille,
                                                         PDWORD longueur);
typedef BOOL(WINAPI* T_GetDiskFreeSpaceExA)(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                            PULARGE_INTEGER total, PULARGE_INTEGER libres);
typedef LANGID(WINAPI* T_GetUserDefaultUILanguage)();

struct T_PointsEntreeKernel32 {
  T_FindFirstVolumeA findFirstVolumeA;
  T_FindNextVolumeA findNextVolumeA;
  T_FindVolumeClose findVolumeClose;
  T_GetVolumePathNamesForVolumeNameA getVolumePathNamesForVolumeNameA;
  T_GetDiskFreeSpaceExA getDiskFreeSpaceExA;
  T_GetUserDefaultUILanguage getUserDefaultUILanguage;
};

// Loads kernel32.dll and takes the entry points, once per run.
void chargerKernel32();
// Exit function: frees the module when it is loaded.
void dechargerKernel32();
// What chargerKernel32 found (all null before it runs).
const T_PointsEntreeKernel32& pointsEntreeKernel32();

// Start-up: reboot stop flag cleared, no system message box for critical
// errors and missing files, dechargerKernel32 registered.
void initialiserModeErreur();

// Every '/' becomes '\\' in place; null is left alone.
void convertirSeparateurs(char* texte);

// Console handler of the reboot wait: a shutdown sets the stop flag; the
// event always goes on to the next handler.
BOOL WINAPI signalArret(DWORD evenement);
bool estArretDemande();
void effacerArretDemande();

// Memory budget: a used-memory counter and a limit (unlimited at start).
void enregistrerNettoyageMemoire();
void nettoyerMemoire();

