#include "core/arbre_appel.h"

#include <cstring>

#include "core/format.h"

// 512 bytes hold a 256-aligned window of 64 slots wherever the storage lands;
// aligning it too makes the static start position valid before any constructor.
alignas(256) static uint8_t stockageAnneau[512];
uint8_t* positionArbreAppel = stockageAnneau;
T_InstantaneArbre instantaneArbreAppel;
bool arbreAppelAffiche;

static uint8_t* baseFenetre;
static uint32_t valeurBase;

static uint8_t* fenetreAnneau() {
  uintptr_t debut = reinterpret_cast<uintptr_t>(stockageAnneau);
  return stockageAnneau + ((0x100 - (debut & 0xFF)) & 0xFF);
}

__attribute__((constructor(101))) static void initialiserArbreAppel() {
  positionArbreAppel = fenetreAnneau();
}

static uint32_t lireCase(const uint8_t* fenetre, size_t indice) {
  uint32_t valeur;
  memcpy(&valeur, fenetre + indice * 4, sizeof valeur);
  return valeur;
}

#if defined(__x86_64__) || defined(_WIN64)
// The program's own code, from the image start to the end of the text section.
#ifdef _WIN32
extern "C" char __ImageBase;
extern "C" char etext;
static uintptr_t debutCode() { return reinterpret_cast<uintptr_t>(&__ImageBase); }
static uintptr_t finCode() { return reinterpret_cast<uintptr_t>(&etext); }
#else
extern "C" char __executable_start;
extern "C" char etext;
static uintptr_t debutCode() { return reinterpret_cast<uintptr_t>(&__executable_start); }
static uintptr_t finCode() { return reinterpret_cast<uintptr_t>(&etext); }
#endif

// Puts back the upper half of a code address; 0xFFFFFFFF marks a foreign one.
static T_EntreeArbre elargir(uint32_t valeur) {
  uint64_t bas = uint32_t(valeur - 1);
  uint64_t debut = debutCode(), fin = finCode();
  uint64_t candidats[2] = {(debut & 0xFFFFFFFF00000000) | bas, (fin & 0xFFFFFFFF00000000) | bas};
  for (uint64_t adresse : candidats) {
    if (adresse >= debut && adresse <= fin) return adresse;
  }
  return 0xFFFFFFFF00000000 | bas;
}
#else
static T_EntreeArbre elargir(uint32_t valeur) { return valeur - 1; }
#endif

void marquerBaseArbreAppel() {
  baseFenetre = fenetreAnneau();
  valeurBase = lireCase(baseFenetre, 0);
}

size_t lireArbreAppel(T_EntreeArbre* entrees) {
  if (!baseFenetre) return 0;
  size_t ecrit = (reinterpret_cast<uintptr_t>(positionArbreAppel) & 0xFF) / 4;
  size_t nombre = 0;
  if (ecrit == 0 && lireCase(baseFenetre, 0) == valeurBase) return 0;
  bool bouclage = ecrit == 0;
  for (size_t i = ecrit; i > 0 && !bouclage; --i) {
    uint32_t valeur = lireCase(baseFenetre, i - 1);
    entrees[nombre++] = elargir(valeur);
    if (i == 1 && valeur != valeurBase) bouclage = true;
  }
  // After a wrap the older slots run down from the last one until 64 are read.
  for (size_t i = TAILLE_ARBRE_APPEL; bouclage && nombre < TAILLE_ARBRE_APPEL; --i) {
    entrees[nombre++] = elargir(lireCase(baseFenetre, i - 1));
  }
  return nombre;
}

void prendreInstantaneArbreAppel() {
  if (instantaneArbreAppel.nombre == 0) {
    instantaneArbreAppel.nombre = static_cast<uint32_t>(lireArbreAppel(instantaneArbreAppel.entrees));
  }
}

#ifndef _WIN32
void afficherArbreAppel() {
  arbreAppelAffiche = true;
  afficherMessage("@afficherArbreAppel: " FMT_ADRESSE "\n",
                  reinterpret_cast<uintptr_t>(&afficherArbreAppel));
  afficherMessage("Call tree:\n");
  uint32_t nombre = instantaneArbreAppel.nombre;
  if (nombre > TAILLE_ARBRE_APPEL) nombre = TAILLE_ARBRE_APPEL;
  for (uint32_t i = 0; i < nombre; ++i) {
    afficherMessage(" " FMT_ADRESSE, static_cast<uintptr_t>(instantaneArbreAppel.entrees[i]));
    if (i % 4 == 3 || i + 1 == nombre) afficherMessage("\n");
  }
  attendreRetour();
}
#endif
