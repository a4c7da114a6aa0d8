// Windows start-up of the fatal path, the crash and console handlers, and
// printing of the call tree.
#include "platform/windows/traitement_erreurs.h"

#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "platform/windows/appels_windows.h"
#include "platform/windows/presse_papier.h"

const char TEXTE_AVERTISSEMENT[] =
    "It is better that you close the program with using the standard way to end it.\n"
    "This will ensure data are correctly flushed on disk. Exiting program another\n"
    "way can lead to incoherence on disk.\n"
    "\n"
    "To cleanly exit program, wait for the Windows message requesting if Windows\n"
    "shall terminate program now, answer 'Cancel', then click 'Ok' for this window,\n"
    "then hit 'Esc' key or click on 'Cancel' button if available. Depending on\n"
    "amount of data to flush, this can need some time.\n"
    "\n"
    "In case program is really blocked, its state has been copied into clipboard\n"
    "such as you can retrieve it to report the problem (open NotePad and press\n"
    "Ctrl+V to get this report) and you can terminate program now (then run chkdsk\n"
    "on mounted partitions to check them).";

namespace {

DWORD idThreadPrincipal = 0;
HANDLE threadPrincipal = INVALID_HANDLE_VALUE;
char* texteAvertissement = nullptr;
char rapport[TAILLE_RAPPORT_CONSOLE];

// THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION.
const DWORD ACCES_THREAD_PRINCIPAL = 0x4A;

// SIGINT is left out: the runtime delivers it on a thread of its own, where
// the fatal path would run beside the main thread. Ctrl+C belongs to the
// console control handler.
const int signauxTraites[] = {SIGABRT, SIGFPE, SIGILL, SIGSEGV};

T_EntreeArbre pointeurInstruction(const CONTEXT& contexte) {
#ifdef _WIN64
  return static_cast<T_EntreeArbre>(contexte.Rip);
#else
  return static_cast<T_EntreeArbre>(contexte.Eip);
#endif
}

// Where the main thread is working, seen from another thread; no address
// from the main thread itself or when it cannot be stopped.
T_EntreeArbre adresseThreadPrincipal() {
  TRACER_APPEL();
  if (appelsWindows.GetCurrentThreadId() == idThreadPrincipal ||
      threadPrincipal == INVALID_HANDLE_VALUE ||
      appelsWindows.SuspendThread(threadPrincipal) == static_cast<DWORD>(-1))
    return ADRESSE_AUCUNE;
  CONTEXT contexte;
  memset(&contexte, 0, sizeof contexte);
  contexte.ContextFlags = CONTEXT_CONTROL;
  T_EntreeArbre adresse = ADRESSE_AUCUNE;
  if (appelsWindows.GetThreadContext(threadPrincipal, &contexte))
    adresse = pointeurInstruction(contexte);
  appelsWindows.ResumeThread(threadPrincipal);
  return adresse;
}

// The runtime may give a hardware fault to the signal handler in place
// before the exception filter sees it; the fault belongs to the filter, so
// the signal goes back to its default and the search goes on.
LONG WINAPI rendreFauteAuFiltre(EXCEPTION_POINTERS* exception) {
  int numero = 0;
  switch (exception->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: numero = SIGSEGV; break;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: numero = SIGILL; break;
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW: numero = SIGFPE; break;
    default: break;
  }
  if (numero != 0) signal(numero, SIG_DFL);
  return EXCEPTION_CONTINUE_SEARCH;
}

uintptr_t adresseCode(LONG(WINAPI* f)(EXCEPTION_POINTERS*)) { return reinterpret_cast<uintptr_t>(f); }

}  // namespace

void installerTraitementErreurs() {
  marquerBaseArbreAppel();
  // The engine's bytes reach the console as they are: its CR LF must not
  // become CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  idThreadPrincipal = appelsWindows.GetCurrentThreadId();
  HANDLE processus = appelsWindows.GetCurrentProcess();
  if (!appelsWindows.DuplicateHandle(processus, appelsWindows.GetCurrentThread(), processus,
                                     &threadPrincipal, ACCES_THREAD_PRINCIPAL, FALSE, 0))
    threadPrincipal = INVALID_HANDLE_VALUE;
  appelsWindows.SetUnhandledExceptionFilter(unhandledException);
  appelsWindows.AddVectoredExceptionHandler(1, rendreFauteAuFiltre);
  appelsWindows.SetConsoleCtrlHandler(consoleControlHandler, TRUE);
  for (int numero : signauxTraites) {
    // A signal the parent made us ignore stays ignored.
    if (signal(numero, traitementSignal) == SIG_IGN) signal(numero, SIG_IGN);
  }
  atexit(executerFonctionsSortie);
  allouerBlocReserve();
}

LONG WINAPI unhandledException(EXCEPTION_POINTERS* exception) {
  TRACER_APPEL();
  // The heap may be what failed: from here nothing is freed.
  declarerSortieUrgence();
  appelsWindows.SetUnhandledExceptionFilter(filtreExceptionSortie);
  prendreInstantaneArbreAppel();
  executerFonctionsSortie();
  const EXCEPTION_RECORD* record = exception ? exception->ExceptionRecord : nullptr;
  const CONTEXT* contexte = exception ? exception->ContextRecord : nullptr;
  afficherMessage("@unhandledException: " FMT_ADRESSE ": exception 0x%08x at " FMT_ADRESSE "\n",
                  adresseCode(unhandledException),
                  static_cast<unsigned>(record ? record->ExceptionCode : 0),
                  reinterpret_cast<uintptr_t>(record ? record->ExceptionAddress : nullptr));
  T_EntreeArbre faute = ADRESSE_AUCUNE;
  if (contexte && (contexte->ContextFlags & CONTEXT_CONTROL) == CONTEXT_CONTROL)
    faute = pointeurInstruction(*contexte);
  if (!arbreAppelAffiche) afficherArbreAppel(faute, nullptr);
  return EXCEPTION_EXECUTE_HANDLER;
}

// ExitProcess, not exit: no atexit function or destructor may run in a
// process that faulted twice.
LONG WINAPI filtreExceptionSortie(EXCEPTION_POINTERS*) {
  appelsWindows.ExitProcess(255);
  return EXCEPTION_EXECUTE_HANDLER;
}

BOOL WINAPI consoleControlHandler(DWORD evenement) {
  TRACER_APPEL();
  prendreInstantaneArbreAppel();
  if (texteAvertissement == nullptr) texteAvertissement = xstrdup(TEXTE_AVERTISSEMENT);
  if (estMarqueSortie()) return signalerEtatConsole(evenement);
  // The next handler, the system's own, ends the process.
  return FALSE;
}

BOOL signalerEtatConsole(DWORD evenement) {
  TRACER_APPEL();
  formaterMessage(rapport, sizeof rapport, "@consoleControlHandler: " FMT_ADRESSE
                  ": control event: %u\r\n",
                  reinterpret_cast<uintptr_t>(&consoleControlHandler),
                  static_cast<unsigned>(evenement));
  char* arbre = rapport + strlen(rapport);
  afficherArbreAppel(adresseThreadPrincipal(), arbre);
  if (*arbre == '\0')
    formaterMessage(arbre, static_cast<size_t>(rapport + sizeof rapport - arbre), "%s",
                    "State of program cannot be retrieved.");
  copierTextePressePapier(rapport);
  DWORD id;
  HANDLE thread = appelsWindows.CreateThread(nullptr, 0, afficherBoiteAvertissement, nullptr, 0, &id);
  if (thread != nullptr) {
    appelsWindows.CloseHandle(thread);
  } else {
    afficherBoiteAvertissement(nullptr);
  }
  return TRUE;
}

DWORD WINAPI afficherBoiteAvertissement(LPVOID) {
  TRACER_APPEL();
  appelsWindows.MessageBoxA(nullptr, texteAvertissement, "!!!!! Warning !!!!!",
                            MB_OK | MB_ICONWARNING | MB_TASKMODAL | MB_SETFOREGROUND);
  return 0;
}

const char* texteAvertissementConsole() { return texteAvertissement; }

const char* rapportConsole() { return rapport; }

void afficherArbreAppelThreadPrincipal() {
  TRACER_APPEL();
  afficherArbreAppel(adresseThreadPrincipal(), nullptr);
}

void afficherArbreAppel(T_EntreeArbre adresseTete, char* tampon) {
  arbreAppelAffiche = true;
  if (tampon) {
    tampon[0] = '\0';
  } else {
    afficherMessage("@afficherArbreAppel: " FMT_ADRESSE "\n",
                    reinterpret_cast<uintptr_t>(&afficherArbreAppelThreadPrincipal));
    afficherMessage("Call tree:\n");
  }
  T_InstantaneArbre& arbre = instantaneArbreAppel;
  if (arbre.nombre > TAILLE_ARBRE_APPEL) arbre.nombre = TAILLE_ARBRE_APPEL;
  if (adresseTete != ADRESSE_AUCUNE) {
    uint32_t gardes = arbre.nombre < TAILLE_ARBRE_APPEL ? arbre.nombre : TAILLE_ARBRE_APPEL - 1;
    for (uint32_t i = gardes; i > 0; --i) arbre.entrees[i] = arbre.entrees[i - 1];
    arbre.entrees[0] = adresseTete;
    arbre.nombre = gardes + 1;
  }
  char* fin = tampon;
  for (uint32_t i = 0; i < arbre.nombre; ++i) {
    uintptr_t adresse = static_cast<uintptr_t>(arbre.entrees[i]);
    bool finLigne = i % 4 == 3;
    if (tampon) {
      // The caller sizes the buffer for 64 entries.
      intptr_t n = formaterMessage(fin, 20, " " FMT_ADRESSE, adresse);
      fin += n < 19 ? n : 19;
      if (finLigne) fin += formaterMessage(fin, 3, "\r\n");
    } else {
      afficherMessage(" " FMT_ADRESSE, adresse);
      if (finLigne || i + 1 == arbre.nombre) afficherMessage("\n");
    }
  }
  if (!tampon) attendreRetour();
}
