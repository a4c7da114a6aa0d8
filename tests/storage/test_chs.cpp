#include <gtest/gtest.h>

#include "storage/chs.h"
#include "support_memoire.h"

TEST(CHS, MotBios) {
  struct Cas {
    uint16_t mot, secteur, cylindre;
  } cas[] = {{0xFFFF, 63, 1023}, {0x0001, 1, 0}, {0x0141, 1, 257}, {0xFFC1, 1, 1023}};
  for (const Cas& c : cas) {
    uint16_t secteur = 0, cylindre = 0;
    decomposerCHS(c.mot, &secteur, &cylindre);
    EXPECT_EQ(secteur, c.secteur) << std::hex << c.mot;
    EXPECT_EQ(cylindre, c.cylindre) << std::hex << c.mot;
    EXPECT_EQ(composerCHS(c.secteur, c.cylindre), c.mot);
  }
  for (uint16_t cylindre = 0; cylindre <= CHS_CYLINDRE_MAX; ++cylindre) {
    for (uint16_t secteur = 1; secteur <= CHS_SECTEUR_MAX; ++secteur) {
      uint16_t s, c;
      decomposerCHS(composerCHS(secteur, cylindre), &s, &c);
      ASSERT_EQ(s, secteur);
      ASSERT_EQ(c, cylindre);
    }
  }
}

TEST_F(TestSupports, CHSAllerRetourSurDesGeometriesEntieres) {
  struct Geometrie {
    uint64_t tetes, secteurs;
  } geometries[] = {{255, 63}, {256, 63}, {16, 63}, {2, 18}, {1, 1}};
  for (const Geometrie& g : geometries) {
    // 1024 cylinders: all that a CHS word addresses.
    SupportMemoire* s = new SupportMemoire(1024 * g.tetes * g.secteurs, 512, 1, g.secteurs, g.tetes);
    for (uint64_t lba = 0; lba < s->nombreSecteurs(); ++lba) {
      T_CHS chs = s->lbaVersCHS(lba);
      ASSERT_TRUE(s->chsValide(chs)) << lba;
      ASSERT_EQ(s->chsVersLBA(chs), lba);
    }
    T_CHS dernier = s->lbaVersCHS(s->nombreSecteurs() - 1);
    EXPECT_EQ(dernier.cylindre, 1023);
    EXPECT_EQ(dernier.tete, g.tetes - 1);
    EXPECT_EQ(dernier.secteur, g.secteurs);
    EXPECT_FALSE(s->chsValide(s->lbaVersCHS(s->nombreSecteurs())));
  }
  SupportMemoire* s = new SupportMemoire(1024 * 255 * 63, 512, 1, 63, 255);
  T_CHS finCylindre = s->lbaVersCHS(255 * 63 - 1);
  EXPECT_EQ(finCylindre.tete, 254);
  EXPECT_EQ(finCylindre.secteur, 63);
  EXPECT_FALSE(s->chsValide({0, 0, 0}));  // sectors count from 1
  // No geometry: all zeros, no division.
  T_CHS vide = (new SupportMemoire(100, 512, 1, 0, 0))->lbaVersCHS(50);
  EXPECT_EQ(vide.cylindre + vide.tete + vide.secteur, 0);
}

TEST(CHS, LimitesDeTaille) {
  const uint64_t L = LIMITE_1024_CYLINDRES;
  EXPECT_TRUE(franchitLimiteTaille(L - 1, L));
  EXPECT_FALSE(franchitLimiteTaille(L, 2 * L));
  EXPECT_FALSE(franchitLimiteTaille(L - 1, L - 1));
  EXPECT_TRUE(franchitLimiteTaille(L, LIMITE_4096_CYLINDRES));
  EXPECT_TRUE(franchitLimiteTaille(LIMITE_LBA28 - 1, UINT64_MAX));
  EXPECT_FALSE(franchitLimiteTaille(LIMITE_LBA28 + 5, 3));
}
