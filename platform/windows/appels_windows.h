// The one seam between the Windows layer and the system's libraries.
// Every kernel32, advapi32, user32 and ntdll call of platform/windows and of
// the Windows mains goes through appelsWindows, the run-time look-ups
// included (LoadLibraryA and GetProcAddress are entries, so a simulation can
// answer "missing"); tests swap entries and restore them. Entries start as
// the real functions.
#pragma once
#include <windows.h>

struct T_AppelsWindows {
  // Versions, the loader and the last error.
  BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA version) = ::GetVersionExA;
  HMODULE(WINAPI* LoadLibraryA)(LPCSTR nom) = ::LoadLibraryA;
  FARPROC(WINAPI* GetProcAddress)(HMODULE module, LPCSTR nom) = ::GetProcAddress;
  BOOL(WINAPI* FreeLibrary)(HMODULE module) = ::FreeLibrary;
  UINT(WINAPI* SetErrorMode)(UINT mode) = ::SetErrorMode;
  DWORD(WINAPI* GetLastError)() = ::GetLastError;
  void(WINAPI* SetLastError)(DWORD erreur) = ::SetLastError;

  // Memory.
  void(WINAPI* GlobalMemoryStatus)(LPMEMORYSTATUS etat) = ::GlobalMemoryStatus;
  HGLOBAL(WINAPI* GlobalAlloc)(UINT drapeaux, SIZE_T taille) = ::GlobalAlloc;
  LPVOID(WINAPI* GlobalLock)(HGLOBAL bloc) = ::GlobalLock;
  BOOL(WINAPI* GlobalUnlock)(HGLOBAL bloc) = ::GlobalUnlock;
  HGLOBAL(WINAPI* GlobalFree)(HGLOBAL bloc) = ::GlobalFree;

  // Time.
  DWORD(WINAPI* GetTimeZoneInformation)(LPTIME_ZONE_INFORMATION zone) = ::GetTimeZoneInformation;
  DWORD(WINAPI* GetTickCount)() = ::GetTickCount;
  BOOL(WINAPI* DosDateTimeToFileTime)(WORD date, WORD heure, LPFILETIME temps) =
      ::DosDateTimeToFileTime;
  BOOL(WINAPI* FileTimeToDosDateTime)(const FILETIME* temps, LPWORD date, LPWORD heure) =
      ::FileTimeToDosDateTime;
  void(WINAPI* GetSystemTimeAsFileTime)(LPFILETIME temps) = ::GetSystemTimeAsFileTime;

  // Processes and threads.
  HANDLE(WINAPI* GetCurrentProcess)() = ::GetCurrentProcess;
  HANDLE(WINAPI* GetCurrentThread)() = ::GetCurrentThread;
  DWORD(WINAPI* GetCurrentThreadId)() = ::GetCurrentThreadId;
  BOOL(WINAPI* DuplicateHandle)(HANDLE processusSource, HANDLE source, HANDLE processusCible,
                                LPHANDLE cible, DWORD acces, BOOL heritable, DWORD options) =
      ::DuplicateHandle;
  DWORD(WINAPI* SuspendThread)(HANDLE thread) = ::SuspendThread;
  DWORD(WINAPI* ResumeThread)(HANDLE thread) = ::ResumeThread;
  BOOL(WINAPI* GetThreadContext)(HANDLE thread, LPCONTEXT contexte) = ::GetThreadContext;
  HANDLE(WINAPI* CreateThread)(LPSECURITY_ATTRIBUTES securite, SIZE_T pile,
                               LPTHREAD_START_ROUTINE debut, LPVOID parametre, DWORD drapeaux,
                               LPDWORD identifiant) = ::CreateThread;
  BOOL(WINAPI* CloseHandle)(HANDLE objet) = ::CloseHandle;
  void(WINAPI* ExitProcess)(UINT statut) = ::ExitProcess;

  // Crash and console handlers.
  LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI* SetUnhandledExceptionFilter)(
      LPTOP_LEVEL_EXCEPTION_FILTER filtre) = ::SetUnhandledExceptionFilter;
  BOOL(WINAPI* SetConsoleCtrlHandler)(PHANDLER_ROUTINE traitement, BOOL ajouter) =
      ::SetConsoleCtrlHandler;
  // Looked up at run time on i686: Windows 95, NT 4 and 2000 lack it.
  PVOID(WINAPI* AddVectoredExceptionHandler)(ULONG premier, PVECTORED_EXCEPTION_HANDLER traitement) =
#ifdef _WIN64
      ::AddVectoredExceptionHandler;
#else
      addVectoredExceptionHandlerReel;
#endif

  // Files and devices: physical drives, the VWIN32 device.
  HANDLE(WINAPI* CreateFileA)(LPCSTR nom, DWORD acces, DWORD partage, LPSECURITY_ATTRIBUTES securite,
                              DWORD creation, DWORD drapeaux, HANDLE modele) = ::CreateFileA;
  // Backup files (archlens): wide names on NT, narrow on 9x.
  HANDLE(WINAPI* CreateFileW)(LPCWSTR nom, DWORD acces, DWORD partage,
                              LPSECURITY_ATTRIBUTES securite, DWORD creation, DWORD drapeaux,
                              HANDLE modele) = ::CreateFileW;
  DWORD(WINAPI* GetFileAttributesA)(LPCSTR nom) = ::GetFileAttributesA;
  DWORD(WINAPI* GetFileAttributesW)(LPCWSTR nom) = ::GetFileAttributesW;
  DWORD(WINAPI* GetFileSize)(HANDLE fichier, LPDWORD haut) = ::GetFileSize;
  int(WINAPI* MultiByteToWideChar)(UINT page, DWORD drapeaux, LPCCH texte, int longueur,
                                   LPWSTR large, int tailleLarge) = ::MultiByteToWideChar;
  BOOL(WINAPI* ReadFile)(HANDLE fichier, LPVOID tampon, DWORD nombre, LPDWORD lus,
                         LPOVERLAPPED recouvrement) = ::ReadFile;
  BOOL(WINAPI* WriteFile)(HANDLE fichier, LPCVOID donnees, DWORD nombre, LPDWORD ecrits,
                          LPOVERLAPPED recouvrement) = ::WriteFile;
  DWORD(WINAPI* SetFilePointer)(HANDLE fichier, LONG bas, PLONG haut, DWORD origine) =
      ::SetFilePointer;
  // Windows 2000 and later: taken at run time by the i686 build.
  BOOL(WINAPI* SetFilePointerEx)(HANDLE fichier, LARGE_INTEGER distance, PLARGE_INTEGER nouvelle,
                                 DWORD origine) =
#ifdef _WIN64
      ::SetFilePointerEx;
#else
      setFilePointerExReel;
#endif
  BOOL(WINAPI* FlushFileBuffers)(HANDLE fichier) = ::FlushFileBuffers;
  BOOL(WINAPI* DeviceIoControl)(HANDLE peripherique, DWORD code, LPVOID entree, DWORD tailleEntree,
                                LPVOID sortie, DWORD tailleSortie, LPDWORD rendus,
                                LPOVERLAPPED recouvrement) = ::DeviceIoControl;
  void(WINAPI* Sleep)(DWORD millisecondes) = ::Sleep;

  // Clipboard and message boxes (user32).
  BOOL(WINAPI* OpenClipboard)(HWND fenetre) = ::OpenClipboard;
  BOOL(WINAPI* EmptyClipboard)() = ::EmptyClipboard;
  HANDLE(WINAPI* SetClipboardData)(UINT format, HANDLE donnees) = ::SetClipboardData;
  BOOL(WINAPI* CloseClipboard)() = ::CloseClipboard;
  int(WINAPI* MessageBoxA)(HWND fenetre, LPCSTR texte, LPCSTR titre, UINT type) = ::MessageBoxA;

  // Drive letters, volumes and system error texts. The volume enumeration
  // is called directly only by the x86-64 build (the i686 one takes it from
  // kernel32 at run time).
  DWORD(WINAPI* GetLogicalDrives)() = ::GetLogicalDrives;
  UINT(WINAPI* GetDriveTypeA)(LPCSTR racine) = ::GetDriveTypeA;
  DWORD(WINAPI* QueryDosDeviceA)(LPCSTR nom, LPSTR cible, DWORD taille) =
#ifdef _WIN64
      ::QueryDosDeviceA;
#else
      queryDosDeviceReel;
#endif
#ifdef _WIN64
  HANDLE(WINAPI* FindFirstVolumeA)(LPSTR nom, DWORD taille) = ::FindFirstVolumeA;
  BOOL(WINAPI* FindNextVolumeA)(HANDLE recherche, LPSTR nom, DWORD taille) = ::FindNextVolumeA;
  BOOL(WINAPI* FindVolumeClose)(HANDLE recherche) = ::FindVolumeClose;
  BOOL(WINAPI* GetVolumePathNamesForVolumeNameA)(LPCSTR volume, LPCH noms, DWORD taille,
                                                 PDWORD longueur) =
      ::GetVolumePathNamesForVolumeNameA;
#else
  // Windows 9x and NT 4 lack them: an import would stop the program loading.
  HANDLE(WINAPI* FindFirstVolumeA)(LPSTR nom, DWORD taille) = findFirstVolumeReel;
  BOOL(WINAPI* FindNextVolumeA)(HANDLE recherche, LPSTR nom, DWORD taille) = findNextVolumeReel;
  BOOL(WINAPI* FindVolumeClose)(HANDLE recherche) = findVolumeCloseReel;
  BOOL(WINAPI* GetVolumePathNamesForVolumeNameA)(LPCSTR volume, LPCH noms, DWORD taille,
                                                 PDWORD longueur) = getVolumePathNamesReel;
#endif
  BOOL(WINAPI* GetVolumeInformationA)(LPCSTR racine, LPSTR nom, DWORD tailleNom, LPDWORD serie,
                                      LPDWORD longueurMax, LPDWORD drapeaux, LPSTR systeme,
                                      DWORD tailleSysteme) = ::GetVolumeInformationA;
  BOOL(WINAPI* GetDiskFreeSpaceA)(LPCSTR racine, LPDWORD secteursParGroupe, LPDWORD octetsParSecteur,
                                  LPDWORD groupesLibres, LPDWORD groupes) = ::GetDiskFreeSpaceA;
  BOOL(WINAPI* GetDiskFreeSpaceExA)(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                    PULARGE_INTEGER total, PULARGE_INTEGER libres) =
#ifdef _WIN64
      ::GetDiskFreeSpaceExA;
#else
      getDiskFreeSpaceExReel;
#endif
  DWORD(WINAPI* FormatMessageA)(DWORD drapeaux, LPCVOID source, DWORD message, DWORD langue,
                                LPSTR tampon, DWORD taille, va_list* arguments) = ::FormatMessageA;
  HLOCAL(WINAPI* LocalFree)(HLOCAL bloc) = ::LocalFree;
  // Maintenance: privileges and the administrators group, the registry
  // (advapi32), the console and the language (kernel32), the reboot and the
  // clipboard's text (user32, taken at run time). CheckTokenMembership and
  // the SID functions are missing before Windows 2000 (or on 9x): taken at
  // run time too, so that no old system refuses to load the program. The
  // i686 build takes the token functions at run time as well (9x has none
  // to give).
#ifdef _WIN64
  BOOL(WINAPI* OpenProcessToken)(HANDLE processus, DWORD acces, PHANDLE jeton) = ::OpenProcessToken;
  BOOL(WINAPI* LookupPrivilegeValueA)(LPCSTR systeme, LPCSTR nom, PLUID valeur) =
      ::LookupPrivilegeValueA;
  BOOL(WINAPI* AdjustTokenPrivileges)(HANDLE jeton, BOOL toutRetirer, PTOKEN_PRIVILEGES nouveaux,
                                      DWORD taille, PTOKEN_PRIVILEGES anciens, PDWORD tailleRendue) =
      ::AdjustTokenPrivileges;
#else
  BOOL(WINAPI* OpenProcessToken)(HANDLE processus, DWORD acces, PHANDLE jeton) = openProcessTokenReel;
  BOOL(WINAPI* LookupPrivilegeValueA)(LPCSTR systeme, LPCSTR nom, PLUID valeur) =
      lookupPrivilegeValueReel;
  BOOL(WINAPI* AdjustTokenPrivileges)(HANDLE jeton, BOOL toutRetirer, PTOKEN_PRIVILEGES nouveaux,
                                      DWORD taille, PTOKEN_PRIVILEGES anciens, PDWORD tailleRendue) =
      adjustTokenPrivilegesReel;
#endif
  LONG(WINAPI* RegOpenKeyExA)(HKEY cle, LPCSTR sousCle, DWORD options, REGSAM acces, PHKEY resultat) =
      ::RegOpenKeyExA;
  LONG(WINAPI* RegQueryValueExA)(HKEY cle, LPCSTR nom, LPDWORD reserve, LPDWORD type, LPBYTE donnees,
                                 LPDWORD taille) = ::RegQueryValueExA;
  LONG(WINAPI* RegSetValueExA)(HKEY cle, LPCSTR nom, DWORD reserve, DWORD type, const BYTE* donnees,
                               DWORD taille) = ::RegSetValueExA;
  LONG(WINAPI* RegDeleteValueA)(HKEY cle, LPCSTR nom) = ::RegDeleteValueA;
  LONG(WINAPI* RegCloseKey)(HKEY cle) = ::RegCloseKey;
  BOOL(WINAPI* AllocateAndInitializeSid)(PSID_IDENTIFIER_AUTHORITY autorite, BYTE nombre, DWORD a0,
                                         DWORD a1, DWORD a2, DWORD a3, DWORD a4, DWORD a5, DWORD a6,
                                         DWORD a7, PSID* sid) = allocateAndInitializeSidReel;
  BOOL(WINAPI* CheckTokenMembership)(HANDLE jeton, PSID sid, PBOOL membre) = checkTokenMembershipReel;
  PVOID(WINAPI* FreeSid)(PSID sid) = freeSidReel;
  BOOL(WINAPI* AllocConsole)() = ::AllocConsole;
  BOOL(WINAPI* FreeConsole)() = ::FreeConsole;
  LANGID(WINAPI* GetUserDefaultLangID)() = ::GetUserDefaultLangID;
  BOOL(WINAPI* ExitWindowsEx)(UINT drapeaux, DWORD raison) = exitWindowsExReel;
  HANDLE(WINAPI* GetClipboardData)(UINT format) = getClipboardDataReel;

  // Failure (ERROR_PROC_NOT_FOUND) where the module does not export them.
  static BOOL WINAPI allocateAndInitializeSidReel(PSID_IDENTIFIER_AUTHORITY autorite, BYTE nombre,
                                                  DWORD a0, DWORD a1, DWORD a2, DWORD a3, DWORD a4,
                                                  DWORD a5, DWORD a6, DWORD a7, PSID* sid);
  static BOOL WINAPI checkTokenMembershipReel(HANDLE jeton, PSID sid, PBOOL membre);
  static PVOID WINAPI freeSidReel(PSID sid);
  static BOOL WINAPI exitWindowsExReel(UINT drapeaux, DWORD raison);
  static HANDLE WINAPI getClipboardDataReel(UINT format);

  // Null (ERROR_PROC_NOT_FOUND) where kernel32 does not export it.
  static PVOID WINAPI addVectoredExceptionHandlerReel(ULONG premier,
                                                      PVECTORED_EXCEPTION_HANDLER traitement);
#ifndef _WIN64
  // Failure (ERROR_PROC_NOT_FOUND) where kernel32 does not export them.
  static HANDLE WINAPI findFirstVolumeReel(LPSTR nom, DWORD taille);
  static BOOL WINAPI findNextVolumeReel(HANDLE recherche, LPSTR nom, DWORD taille);
  static BOOL WINAPI findVolumeCloseReel(HANDLE recherche);
  static BOOL WINAPI getVolumePathNamesReel(LPCSTR volume, LPCH noms, DWORD taille,
                                            PDWORD longueur);
  static BOOL WINAPI getDiskFreeSpaceExReel(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                            PULARGE_INTEGER total, PULARGE_INTEGER libres);
  static BOOL WINAPI setFilePointerExReel(HANDLE fichier, LARGE_INTEGER distance,
                                          PLARGE_INTEGER nouvelle, DWORD origine);
  static DWORD WINAPI queryDosDeviceReel(LPCSTR nom, LPSTR cible, DWORD taille);
  static BOOL WINAPI openProcessTokenReel(HANDLE processus, DWORD acces, PHANDLE jeton);
  static BOOL WINAPI lookupPrivilegeValueReel(LPCSTR systeme, LPCSTR nom, PLUID valeur);
  static BOOL WINAPI adjustTokenPrivilegesReel(HANDLE jeton, BOOL toutRetirer,
                                               PTOKEN_PRIVILEGES nouveaux, DWORD taille,
                                               PTOKEN_PRIVILEGES anciens, PDWORD tailleRendue);
#endif
};

extern T_AppelsWindows appelsWindows;
