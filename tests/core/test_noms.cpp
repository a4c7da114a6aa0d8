#include "core/noms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Unites = std::vector<uint16_t>;

std::string echappe(const Unites& u, bool garder = false, bool espaces = false) {
  std::vector<char> d(6 * u.size() + 1);
  echapperNom(u.data(), u.size(), garder, espaces, d.data());
  return d.data();
}

// Exact-size heap buffers, so an overrun shows under the sanitizers.
Unites unitesDe(const std::string& texte, bool* barre = nullptr) {
  char* copie = strdup(texte.c_str());
  Unites u(texte.size() + 1);
  uint64_t n = 0;
  desechapperNom(copie, u.data(), &n, barre);
  free(copie);
  EXPECT_EQ(u[n], 0) << texte;
  u.resize(n);
  return u;
}

std::string octetsDe(const char* texte, bool* tient) {
  std::vector<char> d(strlen(texte) + 1);
  *tient = desechapperNomOctets(texte, d.data(), nullptr);
  return d.data();
}

std::string normalise(const std::string& texte) {
  std::vector<char> d(4 * texte.size() + 1);
  normaliserNom(texte.c_str(), d.data());
  return d.data();
}

std::string libere(char* texte) {
  std::string s = texte ? texte : "(null)";
  free(texte);
  return s;
}

TEST(Noms, EchappementEtDecodage) {
  uint8_t o = 7;
  EXPECT_FALSE(lireHexa2("E9", &o));
  EXPECT_EQ(o, 0);
  uint16_t u;
  EXPECT_TRUE(lireHexa4("263a", &u));
  EXPECT_EQ(u, 0x263a);

  EXPECT_EQ(echappe({'a', '/', 0xE9, 0x263A}), "a<2f><e9><263a>");
  EXPECT_EQ(echappe({'a', '/', 0xE9, 0x263A}, true), "a/<e9><263a>");
  EXPECT_EQ(echappe({' ', ':', '\\', 0, 31, 127, '~', '*', '[', 0x100}, false, true),
            "<20><3a><5c><00><1f><7f>~<2a><5b><0100>");
  char d[4 * 6 + 1];
  echapperNomOctets("a b/\x80\xff", false, false, d);
  EXPECT_STREQ(d, "a b<2f><80><ff>");

  EXPECT_EQ(unitesDe("x<41>y<0041><zz>"), (Unites{'x', 'A', 'y', 'A', '<', 'z', 'z', '>'}));
  EXPECT_EQ(unitesDe("a<00>b"), Unites{'a'});
  EXPECT_EQ(unitesDe("<0A>"), (Unites{'<', '0', 'A', '>'}));
  // Escapes cut short by the end of the text stay plain characters.
  for (std::string t : {"<", "<4", "<41", "<004", "<0041", "<263a"})
    EXPECT_EQ(unitesDe(t), Unites(t.begin(), t.end())) << t;
  bool barre = true;
  unitesDe("a/<002f>", &barre);
  EXPECT_FALSE(barre);
  unitesDe("a<2f>b", &barre);
  EXPECT_TRUE(barre);

  bool tient;
  EXPECT_EQ(octetsDe("<263a>b", &tient), "_b");
  EXPECT_FALSE(tient);
  EXPECT_EQ(octetsDe("<e9><0041>c<00>d", &tient), "\xe9" "Ac");
  EXPECT_TRUE(tient);

  // '<' is itself escaped, so the literal text "<2F>" has this canonical form.
  const char* normes[][2] = {{"<41>", "A"},          {"<0041>", "A"},       {"<2F>", "<3c>2F<3e>"},
                             {"a/b c", "a<2f>b c"},  {"<263a>x", "<263a>x"}, {"a<00>b", "a"}};
  for (auto& n : normes) EXPECT_EQ(normalise(n[0]), n[1]) << n[0];
}

TEST(Noms, ComparaisonsEtChemins) {
  EXPECT_TRUE(nomsEgaux("A<62>", "ab", true));
  EXPECT_FALSE(nomsEgaux("A<62>", "ab", false));
  EXPECT_TRUE(nomsEgaux("<0041>", "A", false));
  EXPECT_FALSE(nomsEgaux("ab", "abc", true));
  EXPECT_FALSE(nomsEgaux(nullptr, "a", false));

  const char* noms[] = {"sda", nullptr, "S<44>B", "sdb"};
  EXPECT_EQ(indiceNom("sdb", noms, 4, false), 3u);
  EXPECT_EQ(indiceNom("sdb", noms, 4, true), 2u);
  EXPECT_EQ(indiceNom("sdc", noms, 4, true), 4u);
  EXPECT_EQ(indiceNom(nullptr, noms, 4, true), 4u);

  EXPECT_EQ(libere(nomEnMajuscules("ab/c d<e9><263a><2a>")), "AB/C D<e9><263a><2a>");

  struct {
    const char *repertoire, *nom;
    bool barre;
    const char* attendu;
  } const chemins[] = {
      {"/mnt/", "/disk", false, "/mnt/disk"}, {"", "disk", true, "/disk"},
      {"", "disk", false, "disk"},            {"", "/disk", true, "/disk"},
      {"a", "b", true, "a/b"},                {"a", "/b", false, "a/b"},
      {"a", nullptr, true, "a"},              {nullptr, "b", true, "b"},
      {nullptr, nullptr, true, "(null)"},
  };
  for (const auto& c : chemins)
    EXPECT_EQ(libere(joindreChemin(c.repertoire, c.nom, c.barre)), c.attendu) << c.attendu;

  EXPECT_FALSE(contientJokers("a[b"));
  EXPECT_FALSE(contientJokers("a]b["));
  EXPECT_TRUE(contientJokers("a[b]"));
  EXPECT_TRUE(contientJokers("x?"));
}

TEST(Noms, Motifs) {
  struct {
    const char *nom, *motif;
    bool ignorerCasse, attendu;
  } const cas[] = {
      {"abc", "*", false, true},        {"abc", "a?c", false, true},     {"abc", "a?", false, false},
      {"a<2a>b", "a<2a>b", false, true}, {"a<2a>b", "a?b", false, true}, {"axb", "a<2a>b", false, false},
      {"x]", "[]x]]", false, true},     {"b", "[!a-c]", false, false},   {"d", "[!a-c]", false, true},
      {"Q", "[a-z]", true, true},       {"q", "[A-Z]", true, false},     {"Q", "[a-z]", false, false},
      {"a-", "a[x-]", false, true},     {"", "*", false, false},         {"a", "", false, false},
      {nullptr, "*", false, false},     {"a[b", "a[b", false, true},     {"ab", "a[b", false, false},
      {"!", "[<21>a]", false, true},    {"b", "[<21>a]", false, false},  {"*", "[*]", false, true},
      {"x", "[*]", false, false},       {"ABC", "a*c", true, true},      {"a", "[!]]", false, true},
      {"<00>", "<00>", false, false},   {"m", "[a-cm-o]", false, true},  {"<263a>", "[<263a>]", false, true},
  };
  for (const auto& c : cas)
    EXPECT_EQ(correspondMotif(c.nom, c.motif, c.ignorerCasse), c.attendu)
        << (c.nom ? c.nom : "null") << " ~ " << c.motif;
}

// Reference: the pattern cut into elements that take one unit each (tested
// alone with correspondMotif) and stars that try every length.
std::vector<std::string> elements(const std::string& m) {
  std::vector<std::string> e;
  for (size_t i = 0; i < m.size();) {
    size_t n = 1;
    uint8_t o;
    uint16_t u;
    if (m[i] == '*') {
      while (m[i + n] == '*') n++;
      e.push_back("*");
      i += n;
      continue;
    }
    if (m[i] == '<' && lireHexa2(&m[i + 1], &o) && m[i + 3] == '>' && o) {
      n = 4;
    } else if (m[i] == '<' && lireHexa4(&m[i + 1], &u) && m[i + 5] == '>' && u) {
      n = 6;
    } else if (m[i] == '[') {
      size_t j = i + 1;
      j += m[j] == '!';
      j += m[j] == ']';
      size_t fin = m.find(']', j);
      if (fin != std::string::npos) n = fin - i + 1;
    }
    e.push_back(m.substr(i, n));
    i += n;
  }
  return e;
}

bool reference(const Unites& nom, size_t i, const std::vector<std::string>& e, size_t k, bool ic) {
  if (k == e.size()) return i == nom.size();
  if (e[k] == "*") {
    for (size_t j = i; j <= nom.size(); j++)
      if (reference(nom, j, e, k + 1, ic)) return true;
    return false;
  }
  return i < nom.size() && correspondMotif(echappe({nom[i]}).c_str(), e[k].c_str(), ic) &&
         reference(nom, i + 1, e, k + 1, ic);
}

TEST(Noms, MotifsCommeLaReference) {
  std::mt19937 alea(20240611);
  const char* pieces[] = {"a", "b", "B", "*", "*", "?", "[", "]", "!", "-",
                          "<2a>", "<61>", "<0042>", "<", ">", "<21>", "<00>"};
  auto tirer = [&](size_t nombre, size_t maxi) {
    std::string s;
    for (size_t n = alea() % (maxi + 1); n > 0; n--) s += pieces[alea() % nombre];
    return s;
  };
  for (int essai = 0; essai < 30000; essai++) {
    std::string motif = tirer(17, 8), nom = tirer(11, 7);
    bool ic = alea() & 1;
    bool attendu = !nom.empty() && !motif.empty() && reference(unitesDe(nom), 0, elements(motif), 0, ic);
    ASSERT_EQ(correspondMotif(nom.c_str(), motif.c_str(), ic), attendu)
        << "'" << nom << "' ~ '" << motif << "' ignorerCasse " << ic;
  }
}

TEST(Noms, MotifsSansExplosion) {
  std::string quarante(40, 'a'), mille(1000, 'a');
  auto debut = std::chrono::steady_clock::now();
  for (int k = 0; k < 50; k++) {
    EXPECT_FALSE(correspondMotif(quarante.c_str(), "*a*a*a*a*a*b", false));
    EXPECT_FALSE(correspondMotif(mille.c_str(), "*a*a*a*a*a*a*a*a*a*a*[!a]*", true));
  }
  EXPECT_TRUE(correspondMotif(mille.c_str(), "*a*a*a*a*a*a*a*a*a*a", false));
  EXPECT_LT(std::chrono::steady_clock::now() - debut, std::chrono::seconds(10));
}

TEST(Noms, AllerRetour) {
  std::mt19937 alea(7);
  for (int essai = 0; essai < 2000; essai++) {
    Unites u(alea() % 12);
    for (uint16_t& x : u) x = static_cast<uint16_t>(1 + alea() % (alea() & 1 ? 0xFFFF : 255));
    bool garder = alea() & 1, espaces = alea() & 1;
    std::string e = echappe(u, garder, espaces);
    EXPECT_EQ(unitesDe(e), u) << e;
    EXPECT_EQ(normalise(normalise(e)), normalise(e)) << e;

    std::string octets;
    for (uint16_t x : u) octets += static_cast<char>(1 + x % 255);
    std::vector<char> d(4 * octets.size() + 1);
    echapperNomOctets(octets.c_str(), garder, espaces, d.data());
    bool tient;
    EXPECT_EQ(octetsDe(d.data(), &tient), octets);
    // An escaped name is a pattern that matches exactly itself.
    EXPECT_EQ(correspondMotif(d.data(), d.data(), false), !octets.empty()) << d.data();
  }
}

}  // namespace
