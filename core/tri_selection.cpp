#include "core/tri_selection.h"

#include <cstdlib>

#include "core/arbre_appel.h"
#include "core/memoire.h"

namespace {

// A tournament over the positions: every node holds the position that wins
// its range (smallest key, then smallest position); placed positions and the
// padding past n never win.
struct Tournoi {
  size_t feuilles;
  size_t n;
  const uint64_t* cle;  // current key at each position
  const bool* place;
  size_t* noeud;

  bool avant(size_t a, size_t b) const {
    if (a >= n || place[a]) return false;
    if (b >= n || place[b]) return true;
    return cle[a] < cle[b] || (cle[a] == cle[b] && a < b);
  }
  size_t meilleur(size_t a, size_t b) const { return avant(b, a) ? b : a; }
  void mettreAJour(size_t position) {
    size_t i = (feuilles + position) / 2;
    for (; i >= 1; i /= 2) noeud[i] = meilleur(noeud[2 * i], noeud[2 * i + 1]);
  }
};

}  // namespace

void ordreTriSelection(const uint64_t* cles, size_t n, size_t* ordre) {
  TRACER_APPEL();
  if (n == 0) return;
  size_t feuilles = 1;
  while (feuilles < n) feuilles *= 2;
  uint64_t* cle = static_cast<uint64_t*>(xmalloc(n * sizeof(uint64_t)));
  bool* place = static_cast<bool*>(xmalloc(n));
  size_t* noeud = static_cast<size_t*>(xmalloc(2 * feuilles * sizeof(size_t)));
  for (size_t i = 0; i < n; ++i) {
    cle[i] = cles[i];
    place[i] = false;
    ordre[i] = i;  // element now at each position
  }
  Tournoi t = {feuilles, n, cle, place, noeud};
  for (size_t i = 0; i < feuilles; ++i) noeud[feuilles + i] = i;
  for (size_t i = feuilles; i-- > 1;) noeud[i] = t.meilleur(noeud[2 * i], noeud[2 * i + 1]);
  for (size_t i = 0; i + 1 < n; ++i) {
    const size_t j = noeud[1];
    if (j != i) {
      // The swap moves position i's element to j.
      size_t e = ordre[i];
      ordre[i] = ordre[j];
      ordre[j] = e;
      cle[j] = cle[i];
      t.mettreAJour(j);
    }
    place[i] = true;
    t.mettreAJour(i);
  }
  free(cle);
  free(place);
  free(noeud);
}
