// Seam probe of the Windows builds: prints what the installed seam answers
// through the platform layer, then whether kernel32 exports each name given.
#include <windows.h>

#include <cstdio>

#include "platform/windows/appels_windows.h"
#include "platform/windows/heure.h"
#include "platform/windows/services.h"

namespace {
const char* ouiNon(bool v) { return v ? "yes" : "no"; }
}  // namespace

int main(int argc, char** argv) {
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  if (appelsWindows.GetVersionExA(&v))
    printf("version %lu.%lu platform %lu\n", v.dwMajorVersion, v.dwMinorVersion, v.dwPlatformId);
  printf("nt %s, 2000 %s, xp %s, vista %s\n", ouiNon(estWindowsNT()), ouiNon(estWindows2000OuPlus()),
         ouiNon(estWindowsXPOuPlus()), ouiNon(estWindowsVistaOuPlus()));
  chargerKernel32();
  const T_PointsEntreeKernel32& p = pointsEntreeKernel32();
  printf("volume enumeration %s, free space ex %s\n", ouiNon(p.findFirstVolumeA != nullptr),
         ouiNon(p.getDiskFreeSpaceExA != nullptr));
  initialiserDecalageHoraire();
  printf("offset %ld\n", static_cast<long>(decalageHoraire()));
  HMODULE k = appelsWindows.LoadLibraryA("kernel32.dll");
  for (int i = 1; i < argc; ++i)
    printf("%s: %s\n", argv[i], k && appelsWindows.GetProcAddress(k, argv[i]) ? "present" : "absent");
  if (k) appelsWindows.FreeLibrary(k);
  return 0;
}
