// Small Linux services behind the same names as on Windows: the saved
// system error, the memory budget, version texts, whole text files, the
// reboot request and the administrator test.
#pragma once
#include <cstdint>

#include "storage/budget_memoire.h"

// errno saved as the process's system error number, and returned.
int32_t memoriserErreurSysteme();
// "Error number: %d.\n" and "Error message: %s.\n" of the saved number.
void afficherErreurSysteme();

// Memory budget: a used-memory counter and a limit (unlimited at start).
void enregistrerNettoyageMemoire();
void nettoyerMemoire();

// "a.b.c", "a.b" or "a"; every part not read is 0.
void lireVersion(const char* texte, uint32_t* majeur, uint32_t* mineur, uint32_t* revision);

// The whole regular file (links followed) as a zero-terminated text from
// malloc, or null; taille (may be null) gets its size.
char* lireFichierTexte(const char* chemin, uint64_t* taille);

void synchroniserDisques();
// Reboot wait: SIGTERM sets the stop flag and ends the process.
void signalArret(int signal);
void effacerArretDemande();
[[noreturn]] void redemarrerOrdinateur(bool finNormale);

bool estAdministrateur();
void forcerAdministrateur();
