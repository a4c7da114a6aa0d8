#include "storage/budget_memoire.h"

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "storage/plateforme.h"

namespace {

uint64_t memoireUtilisee = 0;
uint64_t limiteMemoire = MEMOIRE_SANS_LIMITE;

}  // namespace

void ajouterMemoireUtilisee(uint64_t octets) {
  memoireUtilisee = octets > ~memoireUtilisee ? ~0ULL : memoireUtilisee + octets;
}

void retirerMemoireUtilisee(uint64_t octets) {
  memoireUtilisee = octets >= memoireUtilisee ? 0 : memoireUtilisee - octets;
}

void fixerLimiteMemoire(int64_t limite) {
  limiteMemoire = limite < 0 ? MEMOIRE_SANS_LIMITE : static_cast<uint64_t>(limite);
}

uint64_t memoireDisponible() {
  TRACER_APPEL();
  uint64_t m = memoireLibreSysteme();
  if (limiteMemoire < m) m = limiteMemoire;
  return memoireUtilisee >= m ? 0 : m - memoireUtilisee;
}

uint32_t nombreMaxElements(uint32_t tailleElement) {
  TRACER_APPEL();
  uint64_t n = memoireDisponible() / (tailleElement ? tailleElement : 1);
  return static_cast<uint32_t>(n < TAILLE_MAX_ALLOCATION ? n : TAILLE_MAX_ALLOCATION);
}

uint64_t tailleTampon(uint64_t voulu, uint32_t tailleElement) {
  TRACER_APPEL();
  uint64_t n = nombreMaxElements(tailleElement);
  uint64_t l = tailleMaxTransfert();
  if (l == 0) l = 1;
  if (n > voulu) {
    uint64_t f = l * ((n + l - 1) / l);
    uint64_t g = l * (0x400000 / l);
    return g < f && g >= voulu ? g : f;
  }
  uint64_t k = voulu / l + (voulu % l != 0);
  return k > TAILLE_MAX_ALLOCATION / l ? voulu : k * l;
}
