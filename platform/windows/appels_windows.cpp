#include "platform/windows/appels_windows.h"

#include <cstring>

T_AppelsWindows appelsWindows;

namespace {

// The kernel32 function of that name, or null (last error set).
template <typename T>
T exporteParKernel32(const char* nom) {
  HMODULE noyau = ::GetModuleHandleA("kernel32.dll");
  FARPROC p = noyau ? ::GetProcAddress(noyau, nom) : nullptr;
  T f = nullptr;
  if (p != nullptr) memcpy(&f, &p, sizeof f);
  return f;
}

}  // namespace

PVOID WINAPI T_AppelsWindows::addVectoredExceptionHandlerReel(ULONG premier,
                                                              PVECTORED_EXCEPTION_HANDLER traitement) {
  typedef PVOID(WINAPI * T_Ajouter)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  T_Ajouter ajouter = exporteParKernel32<T_Ajouter>("AddVectoredExceptionHandler");
  return ajouter ? ajouter(premier, traitement) : nullptr;
}

#ifndef _WIN64
HANDLE WINAPI T_AppelsWindows::findFirstVolumeReel(LPSTR nom, DWORD taille) {
  typedef HANDLE(WINAPI * T_F)(LPSTR, DWORD);
  T_F f = exporteParKernel32<T_F>("FindFirstVolumeA");
  return f ? f(nom, taille) : INVALID_HANDLE_VALUE;
}

BOOL WINAPI T_AppelsWindows::findNextVolumeReel(HANDLE recherche, LPSTR nom, DWORD taille) {
  typedef BOOL(WINAPI * T_F)(HANDLE, LPSTR, DWORD);
  T_F f = exporteParKernel32<T_F>("FindNextVolumeA");
  return f ? f(recherche, nom, taille) : FALSE;
}

BOOL WINAPI T_AppelsWindows::findVolumeCloseReel(HANDLE recherche) {
  typedef BOOL(WINAPI * T_F)(HANDLE);
  T_F f = exporteParKernel32<T_F>("FindVolumeClose");
  return f ? f(recherche) : FALSE;
}

BOOL WINAPI T_AppelsWindows::getVolumePathNamesReel(LPCSTR volume, LPCH noms, DWORD taille,
                                                    PDWORD longueur) {
  typedef BOOL(WINAPI * T_F)(LPCSTR, LPCH, DWORD, PDWORD);
  T_F f = exporteParKernel32<T_F>("GetVolumePathNamesForVolumeNameA");
  return f ? f(volume, noms, taille, longueur) : FALSE;
}

BOOL WINAPI T_AppelsWindows::getDiskFreeSpaceExReel(LPCSTR chemin, PULARGE_INTEGER libresAppelant,
                                                    PULARGE_INTEGER total, PULARGE_INTEGER libres) {
  typedef BOOL(WINAPI * T_F)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  T_F f = exporteParKernel32<T_F>("GetDiskFreeSpaceExA");
  return f ? f(chemin, libresAppelant, total, libres) : FALSE;
}
#endif
