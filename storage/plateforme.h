// Routines of the platform layer that the storage model calls. Each platform
// (platform/linux, platform/windows) provides the bodies; storage includes no
// platform header.
#pragma once
#include <cstdint>

// Transfer limits, set once at start-up by initialiserTransferts.
void initialiserTransferts();
uint32_t tailleMaxTransfert();
uint32_t nombreMaxSecteurs(uint32_t tailleSecteur);
uint32_t tailleMaxSecteur();
