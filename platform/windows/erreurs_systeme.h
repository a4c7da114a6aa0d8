// The process's saved system error on Windows: a Win32 error code, or on the
// 9x family the DOS extended error of a refused int 21h call (the DOS flag
// set), with its two-line report; and the list of the open files that keep
// a 9x drive from being locked.
#pragma once
#include <cstdint>

// Saved number := GetLastError(); the DOS flag cleared, or set.
void memoriserErreurSysteme();
void memoriserErreurDOS();
void fixerErreurDOS(uint16_t code);
uint32_t erreurSysteme();
bool erreurDOS();

// "Error number: %d.\n", then the DOS text on 9x when the flag is set
// ("Error message: %s.\n"), else the system's message table text without
// its line end ("Error message: %s\n").
void afficherErreurSysteme();
// The DOS extended error text of a code (a constant, or the 100-byte buffer
// that the next formatted text overwrites).
const char* texteErreurDOS(uint32_t code);

// After a refused 9x lock of the letter (the text being the lock-failure
// message): "List of opened files:\n" and one name a line.
void afficherFichiersOuverts(char lettre, const char* texte);
