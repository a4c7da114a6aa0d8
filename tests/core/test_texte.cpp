#include "core/texte.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/flux_rediriges.h"

namespace {

// Takes a returned text, frees it.
std::string prendre(char* texte) {
  std::string copie = texte ? texte : "<null>";
  free(texte);
  return copie;
}

TEST(Texte, DivisionsArrondiesSansDebordement) {
  EXPECT_EQ(divArrondiHaut(UINT32_MAX, 2), 0x80000000u);
  EXPECT_EQ(divArrondiHaut64(UINT64_MAX, UINT64_MAX), 1u);
  EXPECT_EQ(divArrondiHautMixte(UINT64_MAX, 0x10), 0x1000000000000000ull);
}

TEST(Texte, RapportCasFixes) {
  struct Cas {
    uint64_t a, b;
    uint8_t largeur, decimales;
    bool aDroite;
    const char* attendu;
  } const cas[] = {
      {1, 3, 0, 2, false, "0.33"},
      {2, 3, 0, 2, false, "0.67"},
      {5, 0, 6, 1, true, "  +Inf"},
      {5, 0, 6, 1, false, "+Inf  "},
      {7, 2, 0, 0, false, "4"},
      {1, 3, 0, 9, false, "0.333333"},
      {999999, 1000000, 0, 3, false, "1.000"},
      {1, 1, 2, 3, true, "1.000"},
      {UINT64_MAX, 1, 0, 2, false, "18446744073709551615.00"},
      {UINT64_MAX, 2, 0, 0, false, "9223372036854775808"},
      {UINT64_MAX - 1, UINT64_MAX, 0, 6, false, "1.000000"},
      {UINT64_MAX / 2, UINT64_MAX, 0, 6, false, "0.500000"},
      {UINT64_MAX - 1, 3, 0, 6, false, "6148914691236517204.666667"},
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(prendre(texteRapport(c.a, c.b, c.largeur, c.decimales, c.aDroite)), c.attendu)
        << c.a << "/" << c.b << " d" << int(c.decimales);
  }
  EXPECT_EQ(prendre(texteRapport(1, 4, 200, 2, true)), std::string(196, ' ') + "0.25");
}

// Integer part, point and d digits of the fraction, without the engine.
std::string texteFixe(uint64_t entier, uint64_t fraction, unsigned d) {
  if (d == 0) return std::to_string(entier);
  std::string chiffres = std::to_string(fraction);
  return std::to_string(entier) + "." + std::string(d - chiffres.size(), '0') + chiffres;
}

// Random a, b and decimals; `grand` keeps a near 2^64 so a x 10^d overflows.
void comparerRapports(uint64_t graine, bool grand) {
  std::mt19937_64 alea(graine);
  int comparees = 0;
  for (int i = 0; i < 20000; ++i) {
    unsigned d = static_cast<unsigned>(alea() % 7);
    uint64_t p = 1;
    for (unsigned k = 0; k < d; ++k) p *= 10;
    uint64_t a = grand ? alea() | (uint64_t(1) << 63) >> (alea() % 8) : alea() >> (alea() % 64);
    uint64_t b = (alea() >> (alea() % 64)) | 1;
    std::string attendu;
    if (!grand) {
      if (a > (UINT64_MAX - b / 2) / p) continue;
      uint64_t f = (a * p + b / 2) / b;
      attendu = texteFixe(f / p, f % p, d);
    } else {
#if defined(__SIZEOF_INT128__)
      unsigned __int128 f = (static_cast<unsigned __int128>(a) * p + b / 2) / b;
      attendu = texteFixe(static_cast<uint64_t>(f / p), static_cast<uint64_t>(f % p), d);
#endif
    }
    ++comparees;
    ASSERT_EQ(prendre(texteRapport(a, b, 0, static_cast<uint8_t>(d), false)), attendu)
        << a << "/" << b << " d" << d;
  }
  EXPECT_GT(comparees, 5000);
}

TEST(Texte, RapportEgalAuCalculDirectSansDebordement) { comparerRapports(77, false); }

#if defined(__SIZEOF_INT128__)
TEST(Texte, RapportExactSurGrandesValeurs) { comparerRapports(78, true); }
#endif

TEST(Texte, TailleSelonLUnite) {
  struct Cas {
    uint64_t octets;
    bool avecGo;
    const char* attendu;
  } const cas[] = {
      {512, false, "0.50 kB"},           {1536, false, "1.50 kB"},
      {0x9FFFFF, true, "10240.00 kB"},   {0xA00000, true, "10.00 MB"},
      {0x27FFFFFFFull, true, "10240.00 MB"}, {0x280000000ull, true, "10.00 GB"},
      {0x280000000ull, false, "10.00"},  {UINT64_MAX, true, "17179869184.00 GB"},
  };
  for (const Cas& c : cas) EXPECT_EQ(prendre(texteTaille(c.octets, c.avecGo)), c.attendu);
}

TEST(Texte, AjoutMajusculesEtRecherche) {
  char* texte = nullptr;
  ajouterTexte(&texte, "");
  EXPECT_EQ(texte, nullptr);
  ajouterTexte(&texte, "abc");
  ajouterTexte(&texte, "-dé1");
  mettreEnMajuscules(texte);
  EXPECT_STREQ(texte, "ABC-Dé1");
  free(texte);

  struct Cas {
    const char* texte;
    const char* motif;
    int position;  // -1: not found
  } const cas[] = {
      {"Hello World", "wORLD", 6}, {"aaa", "AA", 0}, {"abc", "", 3},
      {"ab", "abc", -1},           {"xyz", "q", -1}, {nullptr, "a", -1},
  };
  for (const Cas& c : cas) {
    const char* trouve = rechercherSansCasse(c.texte, c.motif);
    EXPECT_EQ(trouve ? int(trouve - c.texte) : -1, c.position) << c.motif;
  }
  EXPECT_EQ(comparerSansCasse("a", "B", 1), 31);
  EXPECT_EQ(comparerSansCasse("A\0x", "a\0X", 3), 0);  // a NUL does not stop it
  EXPECT_EQ(comparerSansCasse("a\0b", "a\0c", 3), -1);
  EXPECT_EQ(comparerSansCasse("\xff", "a", 1), 158);
}

uint64_t signe(const char* texte, bool* erreur) {
  return static_cast<uint64_t>(lireNombreSigne(texte, erreur));
}

TEST(Texte, LecturesStrictes) {
  struct Cas {
    uint64_t (*lire)(const char*, bool*);
    const char* texte;
    uint64_t valeur;
    bool erreur;
  } const cas[] = {
      {lireNombre, "007", 7, false},
      {lireNombre, "18446744073709551615", UINT64_MAX, false},
      {lireNombre, "18446744073709551616", 0, true},
      {lireNombre, "12x", 0, true},
      {lireNombre, " 12", 0, true},
      {lireNombre, "+1", 0, true},
      {lireNombre, "", 0, true},
      {lireNombre, nullptr, 0, true},
      {signe, "-5", uint64_t(-5), false},
      {signe, "-9223372036854775808", uint64_t(INT64_MIN), false},
      {signe, "9223372036854775808", 0, true},
      {signe, "-9223372036854775809", 0, true},
      {signe, "-", 0, true},
      {signe, "+5", 0, true},
      {signe, "5 ", 0, true},
      {lireNombreHexa, "1F", 31, false},
      {lireNombreHexa, "FFFFFFFFFFFFFFFF", UINT64_MAX, false},
      {lireNombreHexa, "10000000000000000", 0, true},
      {lireNombreHexa, "0x1F", 0, true},
      {lireNombreHexa, "0X1F", 0, true},
      {lireNombreHexa, "-1", 0, true},
  };
  for (const Cas& c : cas) {
    bool erreur = !c.erreur;
    EXPECT_EQ(c.lire(c.texte, &erreur), c.valeur) << (c.texte ? c.texte : "null");
    EXPECT_EQ(erreur, c.erreur) << (c.texte ? c.texte : "null");
  }
  bool erreur = true;
  EXPECT_EQ(lireNombreJusqua("12/34", '/', &erreur), 12u);
  EXPECT_FALSE(erreur);
  EXPECT_EQ(lireNombreJusqua("12", '/', &erreur), 0u);
  EXPECT_TRUE(erreur);
}

TEST(Texte, ChainesDOctetsHexa) {
  struct Cas {
    const char* texte;
    std::vector<uint8_t> octets;  // empty: refused
  } const cas[] = {
      {"  0a 1B  ff ", {0x0A, 0x1B, 0xFF}},   {"0000000000000000000000FF", {0xFF}},
      {"00000000000000000000000FF", {}},       {"100", {}},
      {"0a,1b", {}},  {"0a zz", {}},  {"0a\t1b", {}},  {"    ", {}},
  };
  for (const Cas& c : cas) {
    uint64_t nombre = 99;
    uint8_t* octets = texteHexaVersOctets(c.texte, &nombre);
    ASSERT_EQ(nombre, c.octets.size()) << c.texte;
    EXPECT_EQ(octets == nullptr, c.octets.empty()) << c.texte;
    if (octets) {
      EXPECT_EQ(std::vector<uint8_t>(octets, octets + nombre), c.octets) << c.texte;
    }
    free(octets);
  }
  const uint8_t octets[] = {0x0A, 0x1B, 0xFF};
  EXPECT_EQ(prendre(octetsVersTexteHexa(octets, 3)), "0A 1B FF");
  EXPECT_EQ(octetsVersTexteHexa(octets, 0), nullptr);
}

// The line in a buffer of exactly the documented size, guarded behind.
std::string ligne(unsigned largeur, char separateur, char milieu, uint64_t adresse,
                  const uint8_t* donnees, size_t longueur, unsigned parLigne) {
  size_t taille = 4 * parLigne + 1 + (milieu ? 1 : 0);
  if (largeur != 0) taille += largeur + 1 + (separateur ? 1 : 0);
  std::vector<char> tampon(taille + 8, '#');
  ligneVidageHexa(largeur, separateur, milieu, adresse, donnees, longueur, parLigne, tampon.data());
  EXPECT_EQ(tampon[taille - 1], '\0');
  EXPECT_EQ(std::string(tampon.data() + taille, 8), std::string(8, '#'));
  return std::string(tampon.data());
}

TEST(Texte, LignesEtVidage) {
  const uint8_t ab[] = {'A', 0x7F, 0x1F};
  EXPECT_EQ(ligne(0, ':', '|', 0, ab, 3, 4), "41 7F 1F    |A.. ");
  EXPECT_EQ(ligne(4, '\0', '\0', 0x12345, ab, 1, 1), "1234 41 A");
  EXPECT_EQ(ligne(2, '-', '|', 0xF, ab, 2, 2), "0F- 41 7F |A.");

  uint8_t donnees[20];
  for (int i = 0; i < 20; ++i) donnees[i] = static_cast<uint8_t>('a' + i);
  bool avant = vidageSecteurs;
  SortieCapturee capture;
  vidageSecteurs = false;
  EXPECT_TRUE(afficherSecteurs(donnees, 20, 0));
  vidageSecteurs = true;
  EXPECT_TRUE(afficherSecteurs(donnees, 0, 0));
  EXPECT_TRUE(afficherSecteurs(donnees, 20, 0x200));
  vidageSecteurs = avant;
  EXPECT_EQ(capture.terminer(),
            "00000200: 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 abcdefghijklmnop\n"
            "00000210: 71 72 73 74 " + std::string(36, ' ') + "qrst" + std::string(12, ' ') +
                "\n");
}

}  // namespace
