#include "storage/fat.h"

#include "core/arbre_appel.h"
#include "core/texte.h"

uint32_t Secteur_Boot_FAT::secteursParFAT() const {
  TRACER_APPEL();
  uint16_t petit = secteursParFAT16.lire();
  return petit != 0 ? petit : secteursParFAT32.lire();
}

uint8_t Secteur_Boot_FAT::fatActive(uint8_t typeFAT) const {
  TRACER_APPEL();
  uint16_t drapeaux = drapeauxEtendus.lire();
  if (typeFAT == 32 && (drapeaux & 0x80) != 0) return static_cast<uint8_t>(drapeaux & 0x0F);
  return 0;
}

uint8_t Secteur_Boot_FAT::nombreFAT(uint8_t typeFAT) const {
  TRACER_APPEL();
  if (typeFAT == 32 && (drapeauxEtendus.lire() >> 7) != 0) return 1;
  return nombreFATs;
}

uint32_t Secteur_Boot_FAT::secteursRepertoireRacine() const {
  TRACER_APPEL();
  uint32_t octets = octetsParSecteur.lire();
  if (octets == 0) return 0;
  return divArrondiHaut(uint32_t{entreesRacine.lire()} * 32, octets);
}

uint64_t Secteur_Boot_FAT::premierSecteurDonnees() const {
  TRACER_APPEL();
  return uint64_t{secteursReserves.lire()} + secteursRepertoireRacine() +
         uint64_t{nombreFATs} * secteursParFAT();
}

uint32_t Secteur_Boot_FAT::nombreClusters(uint32_t* reste) const {
  TRACER_APPEL();
  *reste = 0;
  uint32_t total = totalSecteurs16.lire();
  if (total == 0) total = totalSecteurs32.lire();
  uint64_t debut = premierSecteurDonnees();
  if (secteursParCluster == 0 || debut >= total) return 0;
  uint32_t donnees = total - static_cast<uint32_t>(debut);
  *reste = donnees % secteursParCluster;
  return donnees / secteursParCluster;
}

uint32_t Secteur_Boot_FAT::octetsParCluster() const {
  return uint32_t{secteursParCluster} * octetsParSecteur.lire();
}

uint8_t sommeControleNomCourt(const uint8_t* nom) {
  TRACER_APPEL();
  uint8_t somme = 0;
  for (int i = 0; i < 11; ++i)
    somme = static_cast<uint8_t>(((somme & 1) << 7) + (somme >> 1) + nom[i]);
  return somme;
}
