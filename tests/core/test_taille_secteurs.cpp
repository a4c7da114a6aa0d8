#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/texte.h"

// Sector counts times sector sizes, also past 2^64 bytes; the expected texts
// are the exact quotients by 2^30, rounded half up to two decimals.
TEST(TexteTailleSecteurs, ProduitsExacts) {
  const struct {
    uint64_t secteurs;
    uint16_t taille;
    bool avecGo;
    const char* texte;
  } cas[] = {
      {3, 512, true, "1.50 kB"},
      {2048, 512, true, "1024.00 kB"},
      {20480, 512, true, "10.00 MB"},
      {1u << 22, 4096, false, "16.00"},
      {0, 512, true, "0.00 kB"},
      {12345, 0, true, "0.00 kB"},
      {uint64_t{1} << 50, 512, true, "536870912.00 GB"},
      {uint64_t{1} << 63, 2, true, "17179869184.00 GB"},       // exactly 2^64 bytes
      {~uint64_t{0} >> 1, 2, true, "17179869184.00 GB"},       // 2^64 - 2: still 64 bits
      {uint64_t{1} << 63, 4096, true, "35184372088832.00 GB"},
      {0x123456789ABCDEF1ull, 4097, true, "5005221265553.64 GB"},
      {0x5555555595555555ull, 3, true, "17179869187.00 GB"},   // .999... carries
      {~uint64_t{0}, 512, false, "8796093022208.00"},
      {~uint64_t{0}, 65535, true, "1125882726973440.00 GB"},
  };
  for (const auto& c : cas) {
    char* t = texteTailleSecteurs(c.secteurs, c.taille, c.avecGo);
    EXPECT_STREQ(t, c.texte) << c.secteurs << " x " << c.taille;
    free(t);
  }
}
