#include "platform/windows/appels_windows.h"

#include <cstring>

T_AppelsWindows appelsWindows;

PVOID WINAPI T_AppelsWindows::addVectoredExceptionHandlerReel(ULONG premier,
                                                              PVECTORED_EXCEPTION_HANDLER traitement) {
  typedef PVOID(WINAPI * T_Ajouter)(ULONG, PVECTORED_EXCEPTION_HANDLER);
  HMODULE noyau = ::GetModuleHandleA("kernel32.dll");
  FARPROC p = noyau ? ::GetProcAddress(noyau, "AddVectoredExceptionHandler") : nullptr;
  if (p == nullptr) return nullptr;
  T_Ajouter ajouter;
  memcpy(&ajouter, &p, sizeof ajouter);
  return ajouter(premier, traitement);
}
