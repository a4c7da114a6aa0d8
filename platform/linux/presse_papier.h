// Process-local clipboard: one kept copy of a text or of bytes.
#pragma once
#include <cstdint>

void copierTextePressePapier(const char* texte);
void copierDonneesPressePapier(const void* octets, uint64_t longueur);
void viderPressePapier();
// Exit function, registered by the first copy.
void nettoyerPressePapier();
bool pressePapierNonVide();
bool pressePapierContientTexte();
// The kept content (null when empty) and its length without a terminator.
const void* contenuPressePapier();
uint64_t longueurPressePapier();
