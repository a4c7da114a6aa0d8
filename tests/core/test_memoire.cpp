#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#if !defined(_WIN32) && !defined(LENS_SANITIZE)
#include <sys/mman.h>
#endif

#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "support/enfant.h"
#include "support/sortie_arbre.h"

namespace {

const std::string PAUSE = TEXTE_PAUSE;

// Keeps the compiler from dropping an allocation whose result is unused.
void* volatile puits;
// A size the compiler cannot see, so it does not warn about it.
volatile size_t tailleOpaque = 0x80000000u;

std::string refus(uint64_t octets) {
  return "Error: Not enough memory to allocate " + std::to_string(octets) + " bytes.\n" + PAUSE;
}

TEST(Memoire, AllocationsOrdinaires) {
  char* un = static_cast<char*>(xmalloc(0));
  un[0] = 'a';
  char* reduit = static_cast<char*>(xrealloc(xstrdup("xy"), 0));
  EXPECT_EQ(reduit[0], 'x');
  EXPECT_EQ(xstrdup(nullptr), nullptr);
  free(un);
  free(reduit);
}

struct alignas(256) Large {
  char octets[300];
};

TEST(Memoire, NewSurAligne) {
  Large* larges = new Large[3];
  EXPECT_EQ(reinterpret_cast<uintptr_t>(&larges[1]) % 256, 0u);
  memset(larges, 1, 3 * sizeof(Large));
  delete[] larges;
  void* brut = operator new(0, std::align_val_t(64), std::nothrow);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(brut) % 64, 0u);
  operator delete(brut, std::align_val_t(64), std::nothrow);
}

TEST(Memoire, AllouerAligne) {
  const struct {
    size_t taille, alignement;
  } cas[] = {{512, 4096}, {0, 16}, {100, 1}, {1000, 2}, {4096, 512}};
  for (const auto& c : cas) {
    SCOPED_TRACE(std::to_string(c.taille) + "/" + std::to_string(c.alignement));
    T_BlocAligne b;
    allouerAligne(&b, c.taille, c.alignement);
    uintptr_t bloc = reinterpret_cast<uintptr_t>(b.bloc), aligne = reinterpret_cast<uintptr_t>(b.aligne);
    ASSERT_NE(b.bloc, nullptr);
    EXPECT_EQ(aligne % c.alignement, 0u);
    EXPECT_GE(aligne, bloc);
    EXPECT_LT(aligne - bloc, c.alignement);
    memset(b.aligne, 0xA5, c.taille);  // the sanitizer checks that it all fits
    libererAligne(&b);
    EXPECT_EQ(b.aligne, reinterpret_cast<void*>(aligne));
  }
}

TEST(Memoire, RefusFataux) {
  const uint64_t tout = SIZE_MAX;
  const struct {
    void (*corps)();
    uint64_t octets;
  } cas[] = {
      {[] { xmalloc(0x7FFFFFC0); }, 2147483584},
      {[] { xrealloc(nullptr, 0x7FFFFFC0); }, 2147483584},
      {[] { xrealloc(xmalloc(8), SIZE_MAX); }, tout},
      {[] { puits = operator new(tailleOpaque); }, 0x80000000},
      {[] { puits = operator new[](SIZE_MAX, std::align_val_t(64)); }, tout},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.octets);
    ResultatEnfant r = executerEnfant(c.corps, "\n");
    EXPECT_EQ(r.statut, 1);
    EXPECT_EQ(r.sortie, refus(c.octets));
  }
}

#if !(defined(_WIN32) && !defined(_WIN64))
// The largest request allowed is served (a 32-bit Windows process has no
// 2 GiB hole to serve it). In a child, so the parent's heap stays as it was;
// only the two ends are touched, so little memory is used.
TEST(Memoire, PlusGrandeDemandeServie) {
  const size_t limite = 0x7FFFFFBF;
  void (*corps[])() = {
      [] { puits = xmalloc(limite); },
      [] { puits = xrealloc(nullptr, limite); },
      [] { puits = xrealloc(xmalloc(16), limite); },
  };
  for (auto c : corps) {
    ResultatEnfant r = executerEnfant([c] {
      c();
      char* bloc = static_cast<char*>(puits);
      bloc[0] = 1;
      bloc[limite - 1] = 2;
      free(bloc);
      afficherMessage("served");
    }, "\n");
    EXPECT_EQ(r.statut, 0);
    EXPECT_EQ(r.sortie, "served");
  }
}
#endif

TEST(Memoire, AlignementsRefuses) {
  const struct {
    size_t taille, alignement;
  } cas[] = {{512, 0}, {512, 3}, {512, 0x80000000u}, {0x7FFFFFBF, 1}, {0x7FFFFF00, 0x100}};
  for (const auto& c : cas) {
    SCOPED_TRACE(std::to_string(c.taille) + "/" + std::to_string(c.alignement));
    ResultatEnfant r = executerEnfant([&c] {
      T_BlocAligne b;
      allouerAligne(&b, c.taille, c.alignement);
    }, "\n\n");
    EXPECT_EQ(r.statut, 1);
    SortieArbre s = decouperArbre(r.sortie);
    EXPECT_TRUE(s.present);
    EXPECT_EQ(s.avant, "Error: function not implemented\n" + PAUSE);
  }
}

#if !defined(_WIN32) && !defined(LENS_SANITIZE)
TEST(Memoire, MallocRefuseEstFatal) {
  // The sanitizer needs address space of its own. Every free address is
  // reserved without access (nothing committed), so the request finds no
  // room: no process limit involved, which an emulator may not apply.
  ResultatEnfant r = executerEnfant([] {
    const int drapeaux = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    for (size_t taille = SIZE_MAX / 4 + 1; taille >= 4096; taille /= 2) {
      while (mmap(nullptr, taille, PROT_NONE, drapeaux, -1, 0) != MAP_FAILED) {
      }
    }
    xmalloc(512u << 20);
  }, "\n");
  EXPECT_EQ(r.statut, 1);
  EXPECT_EQ(r.sortie, refus(512u << 20));
}
#endif

// After a fatal signal nothing is freed and any allocation ends the process.
const size_t TAILLE_MOTIF = 64;
T_BlocAligne blocAligne;
char* blocNew;
void (*allocationFinale)();

bool intact(const void* bloc) {
  const unsigned char* octets = static_cast<const unsigned char*>(bloc);
  for (size_t i = 0; i < TAILLE_MOTIF; ++i) {
    if (octets[i] != 0x5A) return false;
  }
  return true;
}

void libererPuisAllouer() {
  libererAligne(&blocAligne);
  delete[] blocNew;
  // A freed block would have its first bytes reused (or be poisoned).
  afficherMessage(intact(blocAligne.aligne) && intact(blocNew) ? "kept" : "freed");
  allocationFinale();
  afficherMessage("survived");
}

TEST(Memoire, SortieUrgence) {
  void (*allocations[])() = {
      [] { xmalloc(1); },
      [] { xrealloc(nullptr, 0); },
      [] { xstrdup("x"); },
      [] { puits = new int(1); },
  };
  for (auto allocation : allocations) {
    ResultatEnfant r = executerEnfant([allocation] {
      allouerAligne(&blocAligne, TAILLE_MOTIF, 16);
      memset(blocAligne.aligne, 0x5A, TAILLE_MOTIF);
      blocNew = new char[TAILLE_MOTIF];
      memset(blocNew, 0x5A, TAILLE_MOTIF);
      allocationFinale = allocation;
      ajouterFonctionSortie(libererPuisAllouer);
      traitementSignal(SIGSEGV);
    }, "\n");
    EXPECT_EQ(r.statut, 255);
    EXPECT_EQ(r.sortie, "kept");
  }
}

}  // namespace
