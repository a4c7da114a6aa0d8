// The clipboard: texts go to the system's clipboard; the process also keeps
// one copy of a text or of bytes, as on Linux.
#pragma once
#include <cstdint>

// The text onto the system clipboard (CF_TEXT); failures are silent.
void copierTextePressePapier(const char* texte);
// Kept in the process only, marked binary.
void copierDonneesPressePapier(const void* octets, uint64_t longueur);
void viderPressePapier();
// Exit function, registered by the first copy.
void nettoyerPressePapier();
bool pressePapierNonVide();
bool pressePapierContientTexte();
// The kept content (null when empty) and its length without a terminator.
const void* contenuPressePapier();
uint64_t longueurPressePapier();
// The system clipboard's text read into the kept content (left as it was
// when there is none). lirePressePapier leaves kept bytes unread over.
// True: the kept content is text, or something is kept.
bool lireTextePressePapier();
bool lirePressePapier();
