// Process-local clipboard: one kept copy of a text or of bytes. Both
// platforms' clipboards keep their content here; each adds its own text copy.
#pragma once
#include <cstdint>

// Kept in the process only, marked binary; null or no bytes empties it.
void copierDonneesPressePapier(const void* octets, uint64_t longueur);
void viderPressePapier();
// Exit function, registered by the first copy.
void nettoyerPressePapier();
bool pressePapierNonVide();
bool pressePapierContientTexte();
// The kept content (null when empty) and its length without a terminator.
const void* contenuPressePapier();
uint64_t longueurPressePapier();

// For the platforms' copies: registers nettoyerPressePapier once.
void enregistrerSortiePressePapier();
// Replaces the content by a copy of n bytes followed by a zero (system
// allocator: a refusal leaves the clipboard empty). The copy is made before
// the old content goes, so the bytes may lie inside it.
void garderPressePapier(const void* octets, uint64_t n, bool binaire);
