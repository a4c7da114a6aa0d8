// The clipboard: texts go to the system's clipboard; the process also keeps
// one copy of a text or of bytes, as on Linux.
#pragma once
#include "core/presse_papier_local.h"

// The text onto the system clipboard (CF_TEXT); failures are silent.
void copierTextePressePapier(const char* texte);
// The system clipboard's text read into the kept content (left as it was
// when there is none). lirePressePapier leaves kept bytes unread over.
// True: the kept content is text, or something is kept.
bool lireTextePressePapier();
bool lirePressePapier();
