#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "support/enfant.h"
#include "support/principal.h"
#include "support/sortie_arbre.h"

namespace {

// The entry of a recording whose return address is given: its call site.
T_EntreeArbre site(void* retour) {
  return static_cast<T_EntreeArbre>(reinterpret_cast<uintptr_t>(retour) - 1);
}

// main returns into the C library on Linux (outside the program's code), into
// the start-up code linked in the image on Windows.
T_EntreeArbre entreePrincipal() {
  T_EntreeArbre entree = site(retourPrincipal);
#if defined(__x86_64__) && !defined(_WIN32)
  entree = 0xFFFFFFFF00000000 | static_cast<uint32_t>(entree);
#endif
  return entree;
}

// A chain that wraps the ring overwrites slot 0; put the window back after.
class GardeFenetre {
 public:
  GardeFenetre()
      : fenetre_(reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(positionArbreAppel) &
                                            ~uintptr_t(0xFF))) {
    memcpy(copie_, fenetre_, sizeof copie_);
  }
  ~GardeFenetre() { memcpy(fenetre_, copie_, sizeof copie_); }

 private:
  uint8_t* fenetre_;
  uint8_t copie_[256];
};

void* retoursDescente[200];

// profondeur recording frames, the innermost reading the ring.
__attribute__((noinline)) size_t descendre(int niveau, int profondeur, T_EntreeArbre* entrees) {
  TRACER_APPEL();
  retoursDescente[niveau] = __builtin_return_address(0);
  return niveau + 1 < profondeur ? descendre(niveau + 1, profondeur, entrees) : lireArbreAppel(entrees);
}

TEST(ArbreAppel, LectureSelonLaProfondeur) {
  TRACER_APPEL();
  void* retourTest = __builtin_return_address(0);
  // With main and this test, 62 frames make exactly 64 open recordings.
  for (int profondeur : {0, 1, 10, 61, 62, 63, 68, 126}) {
    SCOPED_TRACE(profondeur);
    GardeFenetre garde;
    T_EntreeArbre entrees[TAILLE_ARBRE_APPEL];
    size_t nombre = profondeur ? descendre(0, profondeur, entrees) : lireArbreAppel(entrees);
    std::vector<T_EntreeArbre> attendus;
    for (int i = profondeur - 1; i >= 0; --i) attendus.push_back(site(retoursDescente[i]));
    attendus.push_back(site(retourTest));
    attendus.push_back(entreePrincipal());
    if (attendus.size() == TAILLE_ARBRE_APPEL) attendus.clear();
    if (attendus.size() > TAILLE_ARBRE_APPEL) attendus.resize(TAILLE_ARBRE_APPEL);
    EXPECT_EQ(std::vector<T_EntreeArbre>(entrees, entrees + nombre), attendus);
  }
}

TEST(ArbreAppel, CasesPerimeesNonLues) {
  TRACER_APPEL();
  void* retourTest = __builtin_return_address(0);
  GardeFenetre garde;
  T_EntreeArbre entrees[TAILLE_ARBRE_APPEL];
  EXPECT_EQ(descendre(0, 40, entrees), 42u);
  size_t nombre = lireArbreAppel(entrees);
  EXPECT_EQ(std::vector<T_EntreeArbre>(entrees, entrees + nombre),
            (std::vector<T_EntreeArbre>{site(retourTest), entreePrincipal()}));
}

void* retourA;
void* retourB;
void imprimerSiteB();

// Runs inside erreurFatale, after the snapshot and before the message.
void verifierInstantane() {
  const T_InstantaneArbre& a = instantaneArbreAppel;
  uintptr_t debutB = reinterpret_cast<uintptr_t>(&imprimerSiteB);
  bool bon = a.nombre == 4 && a.entrees[0] > debutB && a.entrees[0] < debutB + 1024 &&
             a.entrees[1] == site(retourB) && a.entrees[2] == site(retourA) &&
             a.entrees[3] == entreePrincipal();
  afficherMessage(bon ? "snapshot ok\n" : "snapshot wrong\n");
  for (uint32_t i = 0; i < a.nombre; ++i) afficherMessage(" " FMT_ADRESSE, static_cast<uintptr_t>(a.entrees[i]));
  afficherMessage("\n");
}

__attribute__((noinline)) void imprimerSiteB() {
  TRACER_APPEL();
  retourB = __builtin_return_address(0);
  ajouterFonctionSortie(verifierInstantane);
  erreurFatale("boom", ERREUR_ARBRE_APPEL, 1);
}

__attribute__((noinline)) void imprimerSiteA() {
  TRACER_APPEL();
  retourA = __builtin_return_address(0);
  imprimerSiteB();
  asm volatile("");
}

TEST(ArbreAppel, ErreurFataleImprimeLaChaine) {
  ResultatEnfant r = executerEnfant(imprimerSiteA, "\n\n");
  EXPECT_EQ(r.statut, 1);
  SortieArbre s = decouperArbre(r.sortie);
  ASSERT_TRUE(s.present) << r.sortie;
  ASSERT_EQ(s.lignes.size(), 1u);
  EXPECT_EQ(s.avant, "snapshot ok\n" + s.lignes[0] + "\nError: boom\n" + TEXTE_PAUSE);
}

TEST(ArbreAppel, QuatreEntreesParLigne) {
  for (uint32_t nombre : {0u, 1u, 4u, 5u, 8u, 64u}) {
    SCOPED_TRACE(nombre);
    ResultatEnfant r = executerEnfant([nombre] {
      instantaneArbreAppel.nombre = nombre;
      for (uint32_t i = 0; i < nombre; ++i) instantaneArbreAppel.entrees[i] = 0x1000 * (i + 1) + i;
#ifdef _WIN32
      afficherArbreAppelThreadPrincipal();
#else
      afficherArbreAppel();
#endif
      exit(arbreAppelAffiche ? 7 : 8);
    }, "\n");
    EXPECT_EQ(r.statut, 7);
    SortieArbre s = decouperArbre(r.sortie);
    ASSERT_TRUE(s.present) << r.sortie;
    EXPECT_EQ(s.avant, "");
#ifdef _WIN32
    EXPECT_EQ(s.adresse.size(), texteAdresse(0).size());
    EXPECT_EQ(s.adresse.compare(0, 2, "0x"), 0);
#else
    EXPECT_EQ(s.adresse, texteAdresse(reinterpret_cast<uintptr_t>(&afficherArbreAppel)));
#endif
    std::vector<std::string> attendues;
    for (uint32_t i = 0; i < nombre; ++i) {
      if (i % 4 == 0) attendues.emplace_back();
      attendues.back() += " " + texteAdresse(0x1000 * (i + 1) + i);
    }
    EXPECT_EQ(s.lignes, attendues);
  }
}

#ifdef _WIN32
TEST(ArbreAppel, TamponEtAdresseDeTete) {
  const T_InstantaneArbre sauve = instantaneArbreAppel;
  const bool drapeau = arbreAppelAffiche;
  const struct {
    uint32_t nombre;
    T_EntreeArbre tete;
    uint32_t resultat;
  } cas[] = {{3, ADRESSE_AUCUNE, 3}, {4, 0x1234, 5}, {64, 0x1234, 64}, {0, 0x99, 1}};
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nombre);
    instantaneArbreAppel.nombre = c.nombre;
    for (uint32_t i = 0; i < c.nombre; ++i) instantaneArbreAppel.entrees[i] = 0x100 + i;
    char tampon[1681];
    memset(tampon, 'z', sizeof tampon);
    afficherArbreAppel(c.tete, tampon);
    ASSERT_EQ(instantaneArbreAppel.nombre, c.resultat);
    std::string attendu;
    for (uint32_t i = 0; i < c.resultat; ++i) {
      T_EntreeArbre e = c.tete == ADRESSE_AUCUNE ? 0x100 + i : i == 0 ? c.tete : 0x100 + i - 1;
      EXPECT_EQ(instantaneArbreAppel.entrees[i], e);
      attendu += " " + texteAdresse(e);
      if (i % 4 == 3) attendu += "\r\n";
    }
    EXPECT_EQ(std::string(tampon), attendu);
    EXPECT_TRUE(arbreAppelAffiche);
  }
  instantaneArbreAppel = sauve;
  arbreAppelAffiche = drapeau;
}
#endif

}  // namespace
