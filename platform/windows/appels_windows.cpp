#include "platform/windows/appels_windows.h"

#include <cstring>

T_AppelsWindows appelsWindows;

namespace {

// The entry point of a module taken at run time, or null (last error
// ERROR_PROC_NOT_FOUND) when the module or the entry is missing.
template <typename T>
T pointEntree(const char* module, const char* nom) {
  HMODULE m = ::GetModuleHandleA(module);
  if (m == nullptr) m = ::LoadLibraryA(module);
  FARPROC p = m ? ::GetProcAddress(m, nom) : nullptr;
  T r = nullptr;
  if (p == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return r;
  }
  static_assert(sizeof r == sizeof p, "function pointers of one size");
  memcpy(&r, &p, sizeof r);
  return r;
}

}  // namespace

PVOID WINAPI T_AppelsWindows::addVectoredExceptionHandlerReel(ULONG premier,
                                                              PVECTORED_EXCEPTION_HANDLER traitement) {
  typedef PVOID(WINAPI * T_Ajouter)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  T_Ajouter ajouter = pointEntree<T_Ajouter>("kernel32.dll", "AddVectoredExceptionHandler");
  return ajouter ? ajouter(premier, traitement) : nullptr;
}

#ifndef _WIN64
HANDLE WINAPI T_AppelsWindows::findFirstVolumeReel(LPSTR nom, DWORD taille) {
  typedef HANDLE(WINAPI * T_F)(LPSTR, DWORD);
  T_F f = pointEntree<T_F>("kernel32.dll", "FindFirstVolumeA");
  return f ? f(nom, taille) : INVALID_HANDLE_VALUE;
}

BOOL WINAPI T_AppelsWindows::findNextVolumeReel(HANDLE recherche, LPSTR nom, DWORD taille) {
  typedef BOOL(WINAPI * T_F)(HANDLE, LPSTR, DWORD);
  T_F f = pointEntree<T_F>("kernel32.dll", "FindNextVolumeA");
  return f ? f(recherche, nom, taille) : FALSE;
}

BOOL WINAPI T_AppelsWindows::findVolumeCloseReel(HANDLE recherche) {
  typedef BOOL(WINAPI * T_F)(HANDLE);
  T_F f = pointEntree<T_F>("kernel32.dll", "FindVolumeClose");
  return f ? f(recherche) : FALSE;
}

BOOL WINAPI T_AppelsWindows::getVolumePathNamesReel(LPCSTR volume, LPCH noms, DWORD taille,
                                                    PDWORD longueur) {
  typedef BOOL(WINAPI * T_F)(LPCSTR, LPCH, DWORD, PDWORD);
  T_F f = pointEntree<T_F>("kernel32.dll", "GetVolumePathNamesForVolumeNameA");
  return f ? f(volume, noms, taille, longueur) : FALSE;
}

BOOL WINAPI T_AppelsWindows::getDiskFreeSpaceExReel(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                                    PULARGE_INTEGER total, PULARGE_INTEGER libres) {
  typedef BOOL(WINAPI * T_F)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  T_F f = pointEntree<T_F>("kernel32.dll", "GetDiskFreeSpaceExA");
  return f ? f(chemin, libresAppelant, total, libres) : FALSE;
}

BOOL WINAPI T_AppelsWindows::setFilePointerExReel(HANDLE fichier, LARGE_INTEGER distance,
                                                  PLARGE_INTEGER nouvelle, DWORD origine) {
  typedef BOOL(WINAPI * T_F)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
  T_F f = pointEntree<T_F>("kernel32.dll", "SetFilePointerEx");
  return f ? f(fichier, distance, nouvelle, origine) : FALSE;
}

DWORD WINAPI T_AppelsWindows::queryDosDeviceReel(LPCSTR nom, LPSTR cible, DWORD taille) {
  typedef DWORD(WINAPI * T_F)(LPCSTR, LPSTR, DWORD);
  T_F f = pointEntree<T_F>("kernel32.dll", "QueryDosDeviceA");
  return f ? f(nom, cible, taille) : 0;
}

BOOL WINAPI T_AppelsWindows::openProcessTokenReel(HANDLE processus, DWORD acces, PHANDLE jeton) {
  typedef BOOL(WINAPI * T_F)(HANDLE, DWORD, PHANDLE);
  T_F f = pointEntree<T_F>("advapi32.dll", "OpenProcessToken");
  return f ? f(processus, acces, jeton) : FALSE;
}

BOOL WINAPI T_AppelsWindows::lookupPrivilegeValueReel(LPCSTR systeme, LPCSTR nom, PLUID valeur) {
  typedef BOOL(WINAPI * T_F)(LPCSTR, LPCSTR, PLUID);
  T_F f = pointEntree<T_F>("advapi32.dll", "LookupPrivilegeValueA");
  return f ? f(systeme, nom, valeur) : FALSE;
}

BOOL WINAPI T_AppelsWindows::adjustTokenPrivilegesReel(HANDLE jeton, BOOL toutRetirer,
                                                       PTOKEN_PRIVILEGES nouveaux, DWORD taille,
                                                       PTOKEN_PRIVILEGES anciens,
                                                       PDWORD tailleRendue) {
  typedef BOOL(WINAPI * T_F)(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD);
  T_F f = pointEntree<T_F>("advapi32.dll", "AdjustTokenPrivileges");
  return f ? f(jeton, toutRetirer, nouveaux, taille, anciens, tailleRendue) : FALSE;
}
#endif
// ---------------------------------------------------------------- maintenance

BOOL WINAPI T_AppelsWindows::allocateAndInitializeSidReel(PSID_IDENTIFIER_AUTHORITY autorite,
                                                          BYTE nombre, DWORD a0, DWORD a1, DWORD a2,
                                                          DWORD a3, DWORD a4, DWORD a5, DWORD a6,
                                                          DWORD a7, PSID* sid) {
  typedef BOOL(WINAPI * T_Allouer)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD,
                                   DWORD, DWORD, DWORD, DWORD, PSID*);
  T_Allouer allouer = pointEntree<T_Allouer>("advapi32.dll", "AllocateAndInitializeSid");
  return allouer ? allouer(autorite, nombre, a0, a1, a2, a3, a4, a5, a6, a7, sid) : FALSE;
}

BOOL WINAPI T_AppelsWindows::checkTokenMembershipReel(HANDLE jeton, PSID sid, PBOOL membre) {
  typedef BOOL(WINAPI * T_Verifier)(HANDLE, PSID, PBOOL);
  T_Verifier verifier = pointEntree<T_Verifier>("advapi32.dll", "CheckTokenMembership");
  return verifier ? verifier(jeton, sid, membre) : FALSE;
}

PVOID WINAPI T_AppelsWindows::freeSidReel(PSID sid) {
  typedef PVOID(WINAPI * T_Liberer)(PSID);
  T_Liberer liberer = pointEntree<T_Liberer>("advapi32.dll", "FreeSid");
  return liberer ? liberer(sid) : sid;
}

BOOL WINAPI T_AppelsWindows::exitWindowsExReel(UINT drapeaux, DWORD raison) {
  typedef BOOL(WINAPI * T_Quitter)(UINT, DWORD);
  T_Quitter quitter = pointEntree<T_Quitter>("user32.dll", "ExitWindowsEx");
  return quitter ? quitter(drapeaux, raison) : FALSE;
}

HANDLE WINAPI T_AppelsWindows::getClipboardDataReel(UINT format) {
  typedef HANDLE(WINAPI * T_Lire)(UINT);
  T_Lire lire = pointEntree<T_Lire>("user32.dll", "GetClipboardData");
  return lire ? lire(format) : nullptr;
}
