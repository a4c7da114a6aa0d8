// Windows crash trace: the unhandled-exception filter, the console control
// handler with its state report, and the call tree of the main thread.
// installerTraitementErreurs and afficherArbreAppel are declared by the core.
#pragma once
#include <windows.h>

// Size of the console report.
const size_t TAILLE_RAPPORT_CONSOLE = 1681;
extern const char TEXTE_AVERTISSEMENT[];

// Top-level filter: exit functions, the exception line, the call tree led by
// the faulting instruction; the system then ends the process with the code.
LONG WINAPI unhandledException(EXCEPTION_POINTERS* exception);
// Filter while the first one reports: ends the process with 255.
LONG WINAPI filtreExceptionSortie(EXCEPTION_POINTERS* exception);
// Snapshot and warning text; the report only while the program is busy.
BOOL WINAPI consoleControlHandler(DWORD evenement);
// The state report onto the clipboard and the warning box; TRUE.
BOOL signalerEtatConsole(DWORD evenement);
DWORD WINAPI afficherBoiteAvertissement(LPVOID parametre);

// Null until the console handler first runs.
const char* texteAvertissementConsole();
// The last report signalerEtatConsole built.
const char* rapportConsole();
