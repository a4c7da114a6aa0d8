#include "support/fichier_sauvegarde.h"

#include <zlib.h>

#include <cstdio>

namespace {

void placer(std::string* octets, size_t position, uint64_t valeur, size_t largeur) {
  for (size_t i = 0; i < largeur; ++i) (*octets)[position + i] = static_cast<char>(valeur >> (8 * i));
}

uint32_t crc(uint32_t depart, const std::string& octets) {
  return static_cast<uint32_t>(
      crc32(depart, reinterpret_cast<const Bytef*>(octets.data()), static_cast<uInt>(octets.size())));
}

}  // namespace

bool sousEnteteDue(const ChampsSauvegarde& c) {
  if (c.sousEntete != ChampsSauvegarde::SELON_FORMAT) return c.sousEntete == ChampsSauvegarde::TOUJOURS;
  return c.typeElement >= 1 && c.typeElement <= 5 && c.tailleAvant == 0;
}

std::string octetsSauvegarde(const ChampsSauvegarde& c) {
  std::string h(104, '\0');
  placer(&h, 0, c.magique1, 2);
  placer(&h, 2, c.version, 2);
  placer(&h, 4, c.dernierFichier, 1);
  placer(&h, 5, crc(c.crcAvant, c.donnees), 4);
  placer(&h, 13, c.compression, 1);
  placer(&h, 14, c.optionsElement, 1);
  placer(&h, 15, c.typeElement, 1);
  placer(&h, 16, c.typeSupport, 1);
  placer(&h, 17, c.crcAvant, 4);
  placer(&h, 21, c.tailleAvant, 8);
  placer(&h, 29, c.taille < 0 ? c.donnees.size() : static_cast<uint64_t>(c.taille), 4);
  placer(&h, 33, c.numeroDisque, 1);
  placer(&h, 34, c.derniereTete, 8);
  placer(&h, 42, c.dernierCylindre, 8);
  placer(&h, 50, c.secteursParPiste, 8);
  placer(&h, 58, c.tailleDisque, 8);
  placer(&h, 66, c.tailleSecteur, 2);
  placer(&h, 68, c.typeAcces, 1);
  for (size_t i = 0; i < 3; ++i) placer(&h, 69 + i, c.nonUtilise[i], 1);
  placer(&h, 72, c.incrementNecessaire, 1);
  placer(&h, 73, c.numeroPrincipal, 1);
  placer(&h, 74, c.numeroEtendue, 1);
  placer(&h, 75, c.typePartition, 1);
  placer(&h, 76, c.debutSecteur, 2);
  placer(&h, 78, c.debutCylindre, 2);
  placer(&h, 80, c.debutTete, 1);
  placer(&h, 81, c.finSecteur, 2);
  placer(&h, 83, c.finCylindre, 2);
  placer(&h, 85, c.finTete, 1);
  placer(&h, 86, c.premierSecteur, 8);
  placer(&h, 94, c.nombreSecteurs, 8);
  placer(&h, 102, c.magique2, 2);
  if (c.avecGuidType) {
    for (size_t i = 0; i < 3; ++i) placer(&h, 69 + i, c.guidType[i], 1);
    for (size_t i = 3; i < 16; ++i) placer(&h, 70 + i, c.guidType[i], 1);
  }
  placer(&h, 9, crc(0, h), 4);  // the field is still 0 here

  std::string fichier = h;
  if (sousEnteteDue(c)) {
    std::string s(20, '\0');
    placer(&s, 0, c.nbSecteursMin, 8);
    placer(&s, 8, c.nbSecteursMax, 8);
    placer(&s, 16, crc(0, s), 4);
    fichier += s;
  }
  return fichier + c.donnees;
}

bool ecrireSauvegarde(const std::string& chemin, const ChampsSauvegarde& c) {
  std::string octets = octetsSauvegarde(c);
  FILE* f = fopen(chemin.c_str(), "wb");
  if (f == nullptr) return false;
  bool ecrit = fwrite(octets.data(), 1, octets.size(), f) == octets.size();
  return fclose(f) == 0 && ecrit;
}

std::vector<std::string> sauvegardeEnPlusieursFichiers(const ChampsSauvegarde& c,
                                                       const std::vector<size_t>& tailles) {
  std::vector<std::string> fichiers;
  ChampsSauvegarde partie = c;
  size_t debut = 0;
  uint32_t crcAvant = c.crcAvant;
  for (size_t i = 0; i < tailles.size(); ++i) {
    partie.donnees = c.donnees.substr(debut, tailles[i]);
    partie.crcAvant = crcAvant;
    partie.tailleAvant = c.tailleAvant + debut;
    partie.dernierFichier = i + 1 == tailles.size() ? 1 : 0;
    fichiers.push_back(octetsSauvegarde(partie));
    crcAvant = crc(crcAvant, partie.donnees);
    debut += tailles[i];
  }
  return fichiers;
}
