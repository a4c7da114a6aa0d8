#include "core/options.h"

#include <gtest/gtest.h>

namespace {

class OptionsSimples : public Options {};

TEST(Options, EnsembleCourantEtInterface) {
  ASSERT_EQ(optionsCourantes, nullptr);
  EXPECT_EQ(optionsSupportBloc(), nullptr);

  // An option set without the interface: callers keep their defaults.
  OptionsSimples* simples = new OptionsSimples;
  EXPECT_EQ(optionsCourantes, simples);
  EXPECT_EQ(simples->reserve, 0);
  EXPECT_EQ(optionsSupportBloc(), nullptr);

  OptionsTablens* tablens = new OptionsTablens(true, false, GEOMETRIE_NOMBRES, 255, 63,
                                               CYLINDRES_AJOUT, 12);
  EXPECT_EQ(optionsCourantes, static_cast<Options*>(tablens));
  EXPECT_EQ(optionsSupportBloc(), static_cast<OptionsSupportBloc*>(tablens));

  // The older set's destruction clears the current one too.
  delete simples;
  EXPECT_EQ(optionsCourantes, nullptr);
  EXPECT_EQ(optionsSupportBloc(), nullptr);
  delete tablens;
  EXPECT_EQ(optionsCourantes, nullptr);

  Options* parBase = new OptionsTablens(false, false, 0, 0, 0, 0, 0);
  EXPECT_NE(optionsSupportBloc(), nullptr);
  delete parBase;  // through the base: the whole object goes
  EXPECT_EQ(optionsSupportBloc(), nullptr);
}

TEST(Options, ReponsesDeTablens) {
  OptionsTablens* o = new OptionsTablens(true, true, GEOMETRIE_NOMBRES, 255, 63,
                                         CYLINDRES_NOMBRE, 1024);
  OptionsSupportBloc* s = optionsSupportBloc();
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->accesStandard());
  EXPECT_TRUE(s->essayerEtendreTaille(3));
  EXPECT_TRUE(s->chercherCheminsPartitions());
  EXPECT_FALSE(s->verifierEcritures());
  EXPECT_FALSE(s->requeteBooleenne());
  EXPECT_EQ(s->requeteEntiere(), 2);

  int mode = -1, tetes = -1, cylindres = -1;
  unsigned secteurs = 0;
  EXPECT_TRUE(s->geometrieForcee(&mode, &tetes, &secteurs));
  EXPECT_EQ(mode, GEOMETRIE_NOMBRES);
  EXPECT_EQ(tetes, 255);
  EXPECT_EQ(secteurs, 63u);
  EXPECT_TRUE(s->cylindresForces(&mode, &cylindres));
  EXPECT_EQ(mode, CYLINDRES_NOMBRE);
  EXPECT_EQ(cylindres, 1024);
  EXPECT_TRUE(s->geometrieForcee(nullptr, nullptr, nullptr));
  EXPECT_TRUE(s->cylindresForces(nullptr, nullptr));

  // The choices that tablens never makes write zeros and answer false.
  uint8_t octet = 9, etendue = 9, petit = 9;
  int entier = 9, premier = 9, second = 9, partition = 9;
  char texte = 'x', texte2 = 'x';
  uint64_t valeur = 9, valeur2 = 9;
  EXPECT_FALSE(s->disqueChoisi(&octet));
  EXPECT_FALSE(s->partitionChoisie(&partition));
  EXPECT_FALSE(s->numeroEtendueChoisi(&etendue));
  EXPECT_FALSE(s->choixTexte(&texte));
  EXPECT_FALSE(s->choixValeur(&valeur));
  EXPECT_FALSE(s->choixValeurTexte(&valeur2, &texte2));
  EXPECT_FALSE(s->choixDeuxEntiers(&premier, &second));
  EXPECT_FALSE(s->choixEntierTexte(&entier, &petit));
  EXPECT_EQ(octet | etendue | petit | texte | texte2, 0);
  EXPECT_EQ(entier | premier | second | partition, 0);
  EXPECT_EQ(valeur | valeur2, 0u);
  EXPECT_FALSE(s->disqueChoisi(nullptr));
  EXPECT_FALSE(s->choixValeurTexte(nullptr, nullptr));
  s->signalerDisque(1);
  s->signalerPartition(2);
  s->signalerNumeroEtendue(3);
  delete o;

  // No forced geometry: false, but the stored values are still written.
  o = new OptionsTablens(false, false, GEOMETRIE_LIBRE, 16, 32, CYLINDRES_LIBRES, 7);
  EXPECT_FALSE(optionsSupportBloc()->accesStandard());
  EXPECT_FALSE(optionsSupportBloc()->essayerEtendreTaille(0));
  EXPECT_FALSE(optionsSupportBloc()->geometrieForcee(&mode, &tetes, &secteurs));
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(tetes, 16);
  EXPECT_EQ(secteurs, 32u);
  EXPECT_FALSE(optionsSupportBloc()->cylindresForces(&mode, &cylindres));
  EXPECT_EQ(cylindres, 7);
  delete o;
  EXPECT_EQ(optionsSupportBloc(), nullptr);
}

}  // namespace
