// The disk block of a test disk: 255 heads, 63 sectors a track, 1024
// cylinders, linear access.
#pragma once
#include <cstdint>
#include <cstring>

#include "storage/info_disque.h"

inline T_InfoDisque geometrieDe(uint64_t nombre, uint16_t taille = 512) {
  T_InfoDisque g;
  memset(&g, 0, sizeof g);
  g.derniereTete.ecrire(254);
  g.dernierCylindre.ecrire(1023);
  g.secteursParPiste.ecrire(63);
  g.nombreSecteurs.ecrire(nombre);
  g.tailleSecteur.ecrire(taille);
  return g;
}
