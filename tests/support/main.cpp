// Test runner: records itself like a program's main, so main's return address
// is slot 0 and the base of the ring. The fatal-path handlers are not
// installed here: tests install them inside their child processes.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "core/arbre_appel.h"
#include "support/principal.h"

void* retourPrincipal;

#ifdef _WIN32
namespace {

// Threads of this process that have started running its code.
volatile LONG threadsDemarres = 0;

void NTAPI demarrageThread(PVOID, DWORD raison, PVOID) {
  if (raison == DLL_THREAD_ATTACH) InterlockedIncrement(&threadsDemarres);
}

// The first thread-local use of a thread (SCOPED_TRACE) makes GoogleTest
// start a watcher thread. The 32-bit wine now and then faults at exit while
// such a thread is still starting: start it now and wait until it runs.
void demarrerThreadDeGarde() {
  LONG avant = threadsDemarres;
  { testing::ScopedTrace trace(__FILE__, __LINE__, ""); }
  for (int i = 0; i < 10000 && threadsDemarres == avant; ++i) Sleep(1);
}

}  // namespace

extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK rappelDemarrageThread =
    demarrageThread;
#endif

int main(int argc, char** argv) {
  TRACER_APPEL();
  retourPrincipal = __builtin_return_address(0);
  marquerBaseArbreAppel();
  testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
  demarrerThreadDeGarde();
#endif
  return RUN_ALL_TESTS();
}
