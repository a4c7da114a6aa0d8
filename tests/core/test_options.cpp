#include "core/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/arbre_appel.h"

namespace {

class OptionsSimples : public Options {};

TEST(Options, EnsembleCourant) {
  EXPECT_EQ(optionsSupportBloc(), nullptr);
  // An option set without the interface leaves callers on their defaults.
  OptionsSimples* simples = new OptionsSimples;
  EXPECT_EQ(optionsCourantes, simples);
  EXPECT_EQ(optionsSupportBloc(), nullptr);

  Options* tablens = new OptionsTablens(true, false, GEOMETRIE_NOMBRES, 255, 63, 0, 0);
  EXPECT_EQ(optionsCourantes, tablens);
  EXPECT_EQ(optionsSupportBloc(), dynamic_cast<OptionsSupportBloc*>(tablens));
  // Destroying any option set clears the current one.
  delete simples;
  EXPECT_EQ(optionsCourantes, nullptr);
  EXPECT_EQ(optionsSupportBloc(), nullptr);
  delete tablens;
  EXPECT_EQ(optionsCourantes, nullptr);
}

TEST(Options, ReponsesDeTablens) {
  int mode = -1, tetes = -1, cylindres = -1;
  unsigned secteurs = 0;
  OptionsTablens* o = new OptionsTablens(true, true, GEOMETRIE_NOMBRES, 255, 63, CYLINDRES_AJOUT, 12);
  OptionsSupportBloc* s = optionsSupportBloc();
  ASSERT_EQ(s, static_cast<OptionsSupportBloc*>(o));
  EXPECT_TRUE(s->accesStandard() && s->essayerEtendreTaille(3) && s->chercherCheminsPartitions());
  EXPECT_FALSE(s->verifierEcritures());
  EXPECT_EQ(s->requeteEntiere(), 2);
  EXPECT_TRUE(s->geometrieForcee(&mode, &tetes, &secteurs));
  EXPECT_EQ(mode * 1000000 + tetes * 1000 + static_cast<int>(secteurs), 4255063);
  EXPECT_TRUE(s->cylindresForces(&mode, nullptr));
  EXPECT_EQ(mode, CYLINDRES_AJOUT);
  uint8_t disque = 9;
  int partition = 9;
  EXPECT_FALSE(s->disqueChoisi(&disque) || s->partitionChoisie(&partition));
  EXPECT_EQ(disque + partition, 0);
  delete o;

  // Nothing forced: false, and still the stored values.
  o = new OptionsTablens(false, false, GEOMETRIE_LIBRE, 16, 32, CYLINDRES_LIBRES, 7);
  s = optionsSupportBloc();
  EXPECT_FALSE(s->accesStandard() || s->essayerEtendreTaille(0));
  EXPECT_FALSE(s->geometrieForcee(&mode, &tetes, &secteurs));
  EXPECT_EQ(mode * 1000000 + tetes * 1000 + static_cast<int>(secteurs), 16032);
  EXPECT_FALSE(s->cylindresForces(nullptr, &cylindres));
  EXPECT_EQ(cylindres, 7);
  delete o;
  EXPECT_EQ(optionsSupportBloc(), nullptr);
}

// True when the call writes a return address into the ring's next slot.
bool enregistre(const std::function<void()>& appel) {
  const uint32_t temoin = 0xA5A5A5A5;
  memcpy(positionArbreAppel, &temoin, sizeof temoin);
  appel();
  uint32_t lu;
  memcpy(&lu, positionArbreAppel, sizeof lu);
  return lu != temoin;
}

TEST(Options, ReponsesEnregistreesDansLArbreDAppel) {
  OptionsTablens o(false, false, GEOMETRIE_TABLE, 1, 2, CYLINDRES_TABLE, 3);
  int a, b;
  unsigned u;
  uint8_t octet;
  uint64_t valeur;
  char texte;
  const struct {
    const char* nom;
    std::function<void()> appel;
  } cas[] = {
      {"constructor", [] { OptionsTablens autre(true, true, 0, 0, 0, 0, 0); }},
      {"disqueChoisi", [&] { o.disqueChoisi(&octet); }},
      {"choixTexte", [&] { o.choixTexte(&texte); }},
      {"choixValeur", [&] { o.choixValeur(&valeur); }},
      {"choixValeurTexte", [&] { o.choixValeurTexte(&valeur, &texte); }},
      {"partitionChoisie", [&] { o.partitionChoisie(&a); }},
      {"numeroEtendueChoisi", [&] { o.numeroEtendueChoisi(&octet); }},
      {"geometrieForcee", [&] { o.geometrieForcee(&a, &b, &u); }},
      {"choixDeuxEntiers", [&] { o.choixDeuxEntiers(&a, &b); }},
      {"choixEntierTexte", [&] { o.choixEntierTexte(&a, &octet); }},
      {"cylindresForces", [&] { o.cylindresForces(&a, &b); }},
  };
  for (const auto& c : cas) EXPECT_TRUE(enregistre(c.appel)) << c.nom;
}

}  // namespace
