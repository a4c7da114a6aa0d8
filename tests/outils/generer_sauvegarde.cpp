// Writes a backup file from field values, for fuzz seeds and demonstrations:
//
//   generer_sauvegarde FILE [field=value ...]
//
// Fields are those of ChampsSauvegarde (tests/support/fichier_sauvegarde.h),
// numbers in decimal or 0x hexadecimal; guidType=32 hex digits in on-disk
// order; subheader=rule|always|never; data=TEXT, dataSize=N (a byte pattern);
// parts=N1,N2,... cuts the data into files FILE.1, FILE.2, ...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/fichier_sauvegarde.h"

namespace {

bool nombre(const std::string& texte, uint64_t* valeur) {
  if (texte.empty()) return false;
  char* fin = nullptr;
  *valeur = strtoull(texte.c_str(), &fin, 0);
  return *fin == '\0';
}

bool affecter(ChampsSauvegarde* c, const std::string& nom, const std::string& texte) {
  uint64_t v = 0;
  if (nom == "data") {
    c->donnees = texte;
    return true;
  }
  if (nom == "subheader") {
    if (texte == "rule") c->sousEntete = ChampsSauvegarde::SELON_FORMAT;
    else if (texte == "always") c->sousEntete = ChampsSauvegarde::TOUJOURS;
    else if (texte == "never") c->sousEntete = ChampsSauvegarde::JAMAIS;
    else return false;
    return true;
  }
  if (nom == "guidType") {
    if (texte.size() != 32) return false;
    for (size_t i = 0; i < 16; ++i) {
      if (!nombre("0x" + texte.substr(2 * i, 2), &v)) return false;
      c->guidType[i] = static_cast<uint8_t>(v);
    }
    c->avecGuidType = true;
    return true;
  }
  if (!nombre(texte, &v)) return false;
  if (nom == "dataSize") {
    c->donnees.resize(v);
    for (uint64_t i = 0; i < v; ++i) c->donnees[i] = static_cast<char>(i * 31 + i / 256);
    return true;
  }
  struct Champ {
    const char* nom;
    void (*fixer)(ChampsSauvegarde*, uint64_t);
  };
#define CHAMP(n, type) {#n, [](ChampsSauvegarde* x, uint64_t w) { x->n = static_cast<type>(w); }}
  static const Champ champs[] = {
      CHAMP(magique1, uint16_t),        CHAMP(version, uint16_t),
      CHAMP(dernierFichier, uint8_t),   CHAMP(compression, uint8_t),
      CHAMP(optionsElement, uint8_t),   CHAMP(typeElement, uint8_t),
      CHAMP(typeSupport, uint8_t),      CHAMP(crcAvant, uint32_t),
      CHAMP(tailleAvant, uint64_t),     CHAMP(numeroDisque, uint8_t),
      CHAMP(derniereTete, uint64_t),    CHAMP(dernierCylindre, uint64_t),
      CHAMP(secteursParPiste, uint64_t), CHAMP(tailleDisque, uint64_t),
      CHAMP(tailleSecteur, uint16_t),   CHAMP(typeAcces, uint8_t),
      CHAMP(incrementNecessaire, uint8_t), CHAMP(numeroPrincipal, uint8_t),
      CHAMP(numeroEtendue, uint8_t),    CHAMP(typePartition, uint8_t),
      CHAMP(debutSecteur, uint16_t),    CHAMP(debutCylindre, uint16_t),
      CHAMP(debutTete, uint8_t),        CHAMP(finSecteur, uint16_t),
      CHAMP(finCylindre, uint16_t),     CHAMP(finTete, uint8_t),
      CHAMP(premierSecteur, uint64_t),  CHAMP(nombreSecteurs, uint64_t),
      CHAMP(magique2, uint16_t),        CHAMP(nbSecteursMin, uint64_t),
      CHAMP(nbSecteursMax, uint64_t),   CHAMP(taille, int64_t),
  };
#undef CHAMP
  for (const Champ& champ : champs) {
    if (nom == champ.nom) {
      champ.fixer(c, v);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FILE [field=value ...]\n", argv[0]);
    return 2;
  }
  ChampsSauvegarde c;
  std::vector<size_t> parties;
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    size_t egal = argument.find('=');
    std::string nom = argument.substr(0, egal), valeur = egal == std::string::npos ? "" : argument.substr(egal + 1);
    if (nom == "parts") {
      for (size_t debut = 0; debut <= valeur.size();) {
        size_t virgule = valeur.find(',', debut);
        if (virgule == std::string::npos) virgule = valeur.size();
        uint64_t n = 0;
        if (!nombre(valeur.substr(debut, virgule - debut), &n)) {
          fprintf(stderr, "bad parts: %s\n", valeur.c_str());
          return 2;
        }
        parties.push_back(static_cast<size_t>(n));
        debut = virgule + 1;
      }
      continue;
    }
    if (egal == std::string::npos || !affecter(&c, nom, valeur)) {
      fprintf(stderr, "bad argument: %s\n", argv[i]);
      return 2;
    }
  }
  if (parties.empty()) return ecrireSauvegarde(argv[1], c) ? 0 : 1;
  size_t somme = 0;
  for (size_t n : parties) somme += n;
  if (somme != c.donnees.size()) {
    fprintf(stderr, "parts add up to %zu bytes, the data has %zu\n", somme, c.donnees.size());
    return 2;
  }
  std::vector<std::string> fichiers = sauvegardeEnPlusieursFichiers(c, parties);
  for (size_t i = 0; i < fichiers.size(); ++i) {
    std::string chemin = std::string(argv[1]) + "." + std::to_string(i + 1);
    FILE* f = fopen(chemin.c_str(), "wb");
    if (f == nullptr || fwrite(fichiers[i].data(), 1, fichiers[i].size(), f) != fichiers[i].size() ||
        fclose(f) != 0)
      return 1;
  }
  return 0;
}
