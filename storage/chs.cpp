// CHS words, CHS/LBA conversions of a medium and the growth size limits.
#include "storage/chs.h"

#include "core/arbre_appel.h"
#include "storage/support_bloc.h"

void decomposerCHS(uint16_t mot, uint16_t* secteur, uint16_t* cylindre) {
  TRACER_APPEL();
  *secteur = static_cast<uint16_t>(mot & 0x3F);
  *cylindre = static_cast<uint16_t>((mot >> 8) + ((mot & 0xC0) << 2));
}

uint16_t composerCHS(uint16_t secteur, uint16_t cylindre) {
  return static_cast<uint16_t>((cylindre << 8) + (secteur & 0x3F) + ((cylindre >> 2) & 0xC0));
}

bool franchitLimiteTaille(uint64_t ancien, uint64_t nouveau) {
  TRACER_APPEL();
  const uint64_t limites[] = {LIMITE_1024_CYLINDRES, LIMITE_4096_CYLINDRES, LIMITE_LBA28};
  for (uint64_t limite : limites) {
    if (ancien < limite && nouveau >= limite) return true;
  }
  return false;
}

bool Support_Bloc::chsValide(const T_CHS& chs) const {
  return chs.tete < nombreTetes_ && chs.secteur >= 1 && chs.secteur <= secteursParPiste_ &&
         chs.cylindre < nombreCylindres_;
}

uint64_t Support_Bloc::chsVersLBA(const T_CHS& chs) const {
  return (chs.cylindre * nombreTetes_ + chs.tete) * secteursParPiste_ + chs.secteur - 1;
}

T_CHS Support_Bloc::lbaVersCHS(uint64_t secteur) const {
  TRACER_APPEL();
  T_CHS chs = {0, 0, 0};
  uint64_t parCylindre = nombreTetes_ * secteursParPiste_;
  // A zero product also rules out a zero sectors-per-track below.
  if (parCylindre == 0) return chs;
  uint64_t reste = secteur % parCylindre;
  chs.cylindre = static_cast<uint16_t>(secteur / parCylindre);
  chs.tete = static_cast<uint8_t>(reste / secteursParPiste_);
  chs.secteur = static_cast<uint16_t>(reste % secteursParPiste_ + 1);
  return chs;
}
