// Stand-in for the transfer limits until the Windows raw disk access replaces this file.
#include "storage/plateforme.h"

namespace {
uint32_t limiteOctets = 65024;
uint32_t limiteSecteurs = 127;
}  // namespace

void initialiserTransferts() {
  limiteSecteurs = 128;
  limiteOctets = 0x10000;
}

uint32_t tailleMaxTransfert() { return limiteOctets; }

uint32_t nombreMaxSecteurs(uint32_t tailleSecteur) {
  uint32_t nombre = 1;
  if (tailleSecteur != 0 && limiteOctets > tailleSecteur) nombre = limiteOctets / tailleSecteur;
  return nombre < limiteSecteurs ? nombre : limiteSecteurs;
}

uint32_t tailleMaxSecteur() { return 32768; }

// No Windows disk is counted until the raw disk access is built.
uint8_t nombreDisques() { return 0; }

const char* nomDisque(uint8_t) { return nullptr; }
