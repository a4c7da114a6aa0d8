// The kept copy both platforms' clipboards share: what each copy leaves,
// copies taken from inside the kept content, and the exit function.
#include <gtest/gtest.h>

#include <string>

#include "core/erreurs.h"
#include "core/presse_papier_local.h"
#include "support/enfant.h"

namespace {

using namespace std::string_literals;

std::string garde() {
  if (!pressePapierNonVide()) return "(empty)";
  const char* c = static_cast<const char*>(contenuPressePapier());
  // The terminator is part of the copy.
  EXPECT_EQ(c[longueurPressePapier()], '\0');
  return std::string(c, longueurPressePapier()) + (pressePapierContientTexte() ? " text" : " bytes");
}

const char* interieur(size_t decalage) { return static_cast<const char*>(contenuPressePapier()) + decalage; }

TEST(PressePapierLocal, CeQueChaqueCopieLaisse) {
  const struct {
    const char* nom;
    void (*faire)();
    std::string attendu;
  } etapes[] = {
      {"text", [] { garderPressePapier("abc", 3, false); }, "abc text"},
      {"bytes with a zero", [] { copierDonneesPressePapier("x\0y", 3); }, "x\0y bytes"s},
      {"bytes from inside the kept copy", [] { copierDonneesPressePapier(interieur(1), 2); }, "\0y bytes"s},
      {"no bytes", [] { copierDonneesPressePapier("z", 0); }, "(empty)"},
      {"text from inside",
       [] {
         garderPressePapier("hello", 5, false);
         garderPressePapier(interieur(2), 3, false);
       },
       "llo text"},
      {"null bytes", [] { copierDonneesPressePapier(nullptr, 4); }, "(empty)"},
      {"emptied",
       [] {
         garderPressePapier("q", 1, true);
         viderPressePapier();
       },
       "(empty)"},
  };
  for (const auto& e : etapes) {
    e.faire();
    EXPECT_EQ(garde(), e.attendu) << e.nom;
    EXPECT_EQ(longueurPressePapier() == 0, !pressePapierNonVide()) << e.nom;
  }
}

TEST(PressePapierLocal, LaCopieGardeeSurElleMemeResteEnPlace) {
  copierDonneesPressePapier("abc", 3);
  const void* avant = contenuPressePapier();
  copierDonneesPressePapier(avant, 1);
  EXPECT_EQ(contenuPressePapier(), avant);
  EXPECT_EQ(garde(), "abc bytes");
  viderPressePapier();
}

TEST(PressePapierLocal, LaSortieVideLaCopie) {
  ResultatEnfant r = executerEnfant([] {
    copierDonneesPressePapier("abc", 3);
    executerFonctionsSortie();
    fputs(pressePapierNonVide() ? "kept" : "emptied", stdout);
  });
  EXPECT_EQ(r.sortie, "emptied");
  EXPECT_EQ(r.statut, 0);
}

}  // namespace
