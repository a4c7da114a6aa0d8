#include "core/options.h"

#include "core/arbre_appel.h"

Options* optionsCourantes = nullptr;

Options::Options() : reserve(0) { optionsCourantes = this; }

Options::~Options() { optionsCourantes = nullptr; }

OptionsSupportBloc::~OptionsSupportBloc() {}

OptionsSupportBloc* optionsSupportBloc() {
  return optionsCourantes ? dynamic_cast<OptionsSupportBloc*>(optionsCourantes) : nullptr;
}

OptionsTablens::OptionsTablens(bool accesStandard, bool etendreTaille, int modeHs, int tetesHs,
                               int secteursHs, int modeC, int cylindresC)
    : optionS(accesStandard),
      optionTds(etendreTaille),
      modeHs(modeHs),
      tetesHs(tetesHs),
      secteursHs(secteursHs),
      modeC(modeC),
      cylindresC(cylindresC) {
  TRACER_APPEL();
}

OptionsTablens::~OptionsTablens() {}

bool OptionsTablens::disqueChoisi(uint8_t* disque) {
  TRACER_APPEL();
  if (disque) *disque = 0;
  return false;
}

void OptionsTablens::signalerDisque(uint8_t) {}

bool OptionsTablens::accesStandard() { return optionS; }

bool OptionsTablens::choixTexte(char* texte) {
  TRACER_APPEL();
  if (texte) *texte = 0;
  return false;
}

void OptionsTablens::signalerChoixTexte() {}

bool OptionsTablens::choixValeur(uint64_t* valeur) {
  TRACER_APPEL();
  if (valeur) *valeur = 0;
  return false;
}

void OptionsTablens::signalerChoixValeur() {}

bool OptionsTablens::choixValeurTexte(uint64_t* valeur, char* texte) {
  TRACER_APPEL();
  if (valeur) *valeur = 0;
  if (texte) *texte = 0;
  return false;
}

void OptionsTablens::signalerChoixValeurTexte() {}

bool OptionsTablens::partitionChoisie(int* numero) {
  TRACER_APPEL();
  if (numero) *numero = 0;
  return false;
}

void OptionsTablens::signalerPartition(int) {}

bool OptionsTablens::numeroEtendueChoisi(uint8_t* numero) {
  TRACER_APPEL();
  if (numero) *numero = 0;
  return false;
}

void OptionsTablens::signalerNumeroEtendue(uint8_t) {}

bool OptionsTablens::verifierEcritures() { return false; }

bool OptionsTablens::essayerEtendreTaille(uint8_t) { return optionTds; }

bool OptionsTablens::chercherCheminsPartitions() { return true; }

bool OptionsTablens::requeteBooleenne() { return false; }

bool OptionsTablens::geometrieForcee(int* mode, int* tetes, unsigned* secteursParPiste) {
  TRACER_APPEL();
  if (mode) *mode = modeHs;
  if (tetes) *tetes = tetesHs;
  if (secteursParPiste) *secteursParPiste = static_cast<unsigned>(secteursHs);
  return modeHs != GEOMETRIE_LIBRE;
}

bool OptionsTablens::choixDeuxEntiers(int* premier, int* second) {
  TRACER_APPEL();
  if (premier) *premier = 0;
  if (second) *second = 0;
  return false;
}

bool OptionsTablens::choixEntierTexte(int* entier, uint8_t* octet) {
  TRACER_APPEL();
  if (entier) *entier = 0;
  if (octet) *octet = 0;
  return false;
}

bool OptionsTablens::cylindresForces(int* mode, int* cylindres) {
  TRACER_APPEL();
  if (mode) *mode = modeC;
  if (cylindres) *cylindres = cylindresC;
  return modeC != CYLINDRES_LIBRES;
}

int OptionsTablens::requeteEntiere() { return 2; }
