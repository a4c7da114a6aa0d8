// Process-local clipboard: one kept copy of a text or of bytes.
#pragma once
#include "core/presse_papier_local.h"

// The text kept in the process; null empties it.
void copierTextePressePapier(const char* texte);
