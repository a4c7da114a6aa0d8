#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "core/format.h"
#include "core/string_array.h"
#include "core/tableau.h"
#include "support/enfant.h"

namespace {

// Exposes the capacity and checks the invariants of the buffer.
template <typename T>
struct Sonde : BasicArray<T, const T> {
  using BasicArray<T, const T>::BasicArray;
  size_t capacite() const { return this->capacity_; }
  bool queueNulle() const {
    for (size_t i = this->count_; i < this->capacity_; ++i) {
      if (this->items_[i] != T()) return false;
    }
    return true;
  }
};

std::vector<int> contenu(const VirtualArray<int, const int>& a) {
  return std::vector<int>(a.items(), a.items() + a.count());
}

Sonde<int> suite(std::initializer_list<int> valeurs) {
  Sonde<int> a;
  for (int v : valeurs) a.add(v);
  return a;
}

bool capaciteReglementaire(size_t c) {
  return c == 0 || c == 4 || (c <= 1024 && c % 16 == 0) || (c > 1024 && c % 256 == 0);
}

TEST(Tableau, CroissanceParPasFixes) {
  const size_t cas[][2] = {{1, 4}, {4, 4}, {5, 16}, {17, 32}, {1024, 1024}, {1025, 1280}};
  for (const auto& c : cas) {
    Sonde<int> a;
    a.reserve(c[0]);
    a.reserve(c[0] - 1);
    EXPECT_EQ(a.capacite(), c[1]) << c[0];
  }
  Sonde<uint64_t> b;
  std::vector<size_t> capacites;
  for (uint64_t i = 1; i <= 1025; ++i) {
    b.add(i);
    if (capacites.empty() || capacites.back() != b.capacite()) capacites.push_back(b.capacite());
  }
  ASSERT_EQ(capacites.size(), 66u);
  EXPECT_EQ(capacites[1], 16u);
  EXPECT_EQ(capacites[64], 1024u);
  EXPECT_EQ(capacites[65], 1280u);
  EXPECT_TRUE(b.queueNulle());
}

// Records every hook call; the release notes the count it sees.
struct Journal : BasicArray<int, const int> {
  std::string trace;
  ~Journal() override { clear(); }

 protected:
  int copyElement(const int& v) override {
    trace += "c" + std::to_string(v) + " ";
    return v;
  }
  void detachElement(size_t i) override {
    trace += "d" + std::to_string(i) + "=" + std::to_string(items_[i]) + " ";
  }
  void releasePending() override { trace += "r" + std::to_string(count_) + " "; }
};

TEST(Tableau, OrdreDesCrochets) {
  struct Cas {
    const char* nom;
    void (*operation)(Journal&);
    const char* trace;
  } cas[] = {
      {"set", [](Journal& a) { a.set(9, 1); }, "d1=2 c9 r3 "},
      {"set beyond", [](Journal& a) { a.set(9, 5); }, "c9 "},
      {"remove", [](Journal& a) { a.remove(0); }, "d0=1 r2 "},
      {"remove beyond", [](Journal& a) { a.remove(3); }, ""},
      {"insert", [](Journal& a) { a.insert(8, 0); }, "c8 "},
      {"fill", [](Journal& a) { a.fill(7, 3, 2); }, "d2=3 c7 r3 c7 c7 "},
      {"clear", [](Journal& a) { a.clear(); }, "d2=3 r2 d1=2 r1 d0=1 r0 "},
      {"move", [](Journal& a) { a.moveOneWithin(0, 3); }, ""},
      {"append self", [](Journal& a) { a.append(a); }, "c1 c2 c3 "},
  };
  for (const Cas& c : cas) {
    Journal a;
    const int valeurs[] = {1, 2, 3};
    a.addValues(valeurs, 3);
    a.trace.clear();
    c.operation(a);
    EXPECT_EQ(a.trace, c.trace) << c.nom;
  }
}

// A copy hook that changes the value: each filled slot is one copy of v.
struct Decuple : BasicArray<int, const int> {
 protected:
  int copyElement(const int& v) override { return v * 10; }
};

TEST(Tableau, RemplissageCopieChaqueFoisLaValeur) {
  const struct {
    size_t debut, nombre;
    bool interne;  // v read from slot 2 of the array itself
    std::vector<int> attendu;
  } cas[] = {
      {0, 3, false, {10, 10, 10}},
      {1, 4, false, {1, 10, 10, 10, 10}},
      {4, 2, false, {1, 2, 3, 0, 10, 10}},
      {0, 2, true, {30, 30, 3}},  // v's own slot is not filled
  };
  for (const auto& c : cas) {
    Decuple a;
    const int valeurs[] = {1, 2, 3};
    a.addValues(valeurs, 3);
    for (size_t i = 0; i < a.count(); ++i) a[i] = valeurs[i];  // undo the hook
    int externe = 1;
    a.fill(c.interne ? a[2] : externe, c.nombre, c.debut);
    EXPECT_EQ(contenu(a), c.attendu) << c.debut << " " << c.nombre;
  }
}

TEST(Tableau, DeplacementsDansUnTableau) {
  struct Cas {
    size_t de, vers, nombre;
    std::vector<int> resultat;
  } cas[] = {
      {0, 3, 1, {2, 3, 1, 4, 5}},
      {3, 1, 1, {1, 4, 2, 3, 5}},
      {0, 5, 1, {2, 3, 4, 5, 1}},
      {1, 2, 1, {1, 2, 3, 4, 5}},
      {2, 2, 3, {1, 2, 3, 4, 5}},
      {3, 0, 9, {4, 5, 1, 2, 3}},
      {0, 4, 2, {3, 4, 1, 2, 5}},
      {0, 10, 1, {2, 3, 4, 5, 0, 0, 0, 0, 0, 1}},
  };
  for (const Cas& c : cas) {
    Sonde<int> a = suite({1, 2, 3, 4, 5});
    a.moveWithin(c.de, c.vers, c.nombre);
    EXPECT_EQ(contenu(a), c.resultat) << c.de << " -> " << c.vers << " x" << c.nombre;
    EXPECT_TRUE(a.queueNulle());
  }
}

TEST(Tableau, DeplacementsEntreTableaux) {
  Sonde<int> source = suite({1, 2, 3});
  Sonde<int> destination;
  source.moveTo(0, destination, 10, 3);
  EXPECT_EQ(source.capacite(), 0u);
  EXPECT_EQ(source.items(), nullptr);
  EXPECT_EQ(contenu(destination), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}));

  Sonde<int> gauche = suite({1, 2, 3});
  Sonde<int> droite = suite({7, 8});
  gauche.moveTo(1, droite, 1, 5);
  EXPECT_EQ(contenu(gauche), std::vector<int>{1});
  EXPECT_EQ(contenu(droite), (std::vector<int>{7, 2, 3, 8}));
}

TEST(Tableau, BufferRenduOuGarde) {
  Sonde<int> a;
  a.fill(1, 0, 5);
  EXPECT_EQ(a.count(), 0u);
  EXPECT_EQ(a.capacite(), 16u);
  Sonde<int> b;
  b.fill(1, 0, 0);
  EXPECT_EQ(b.items(), nullptr);
  b.add(1);
  b.remove(0);
  EXPECT_EQ(b.items(), nullptr);

  Sonde<int> c = suite({1, 2});
  c = c;
  BasicArray<int, const int> d(c);
  EXPECT_EQ(contenu(d), (std::vector<int>{1, 2}));
  EXPECT_NE(d.items(), c.items());
}

// The value is read from the buffer that the operation moves or empties.
TEST(Tableau, ValeurPriseDansLeTableau) {
  Sonde<int> a = suite({1, 2, 3, 4}), b = suite({1, 2, 3, 4}), c = suite({1, 2, 3, 4});
  a.add(a[0]);
  b.insert(b[3], 0);
  c.addValues(c.items() + 1, 3);
  EXPECT_EQ(contenu(a), (std::vector<int>{1, 2, 3, 4, 1}));
  EXPECT_EQ(contenu(b), (std::vector<int>{4, 1, 2, 3, 4}));
  EXPECT_EQ(contenu(c), (std::vector<int>{1, 2, 3, 4, 2, 3, 4}));
  a.set(a[1], 0);
  a.fill(a[0], 3, 1);
  EXPECT_EQ(contenu(a), (std::vector<int>{2, 2, 2, 2, 1}));
}

TEST(Tableau, Recherches) {
  EXPECT_EQ((BasicArray<unsigned int, const unsigned int>().find(3)), 0u);
  const unsigned int valeurs[] = {3, 7, 7};
  BasicArray<unsigned int, const unsigned int> a(3, valeurs);
  EXPECT_EQ(a.find(7), 1u);
  EXPECT_EQ(a.find(5), 3u);

  const uint64_t tries[] = {10, 20, 30};
  BasicArray<uint64_t, const uint64_t> b(3, tries);
  const struct { uint64_t valeur; size_t position; } cas[] = {
      {20, 1}, {25, 2}, {5, 0}, {40, 3}, {30, 2}, {UINT64_MAX, 3},
  };
  for (const auto& c : cas) EXPECT_EQ(b.findSorted(c.valeur), c.position) << c.valeur;
  EXPECT_EQ((BasicArray<uint64_t, const uint64_t>().findSorted(1)), 0u);
}

// Counts constructions and records the order of deletion.
struct Compte {
  static int vivants;
  static std::vector<int> supprimes;
  int numero;
  explicit Compte(int n) : numero(n) { ++vivants; }
  ~Compte() {
    --vivants;
    supprimes.push_back(numero);
  }
};
int Compte::vivants = 0;
std::vector<int> Compte::supprimes;

TEST(Tableau, DeleteArrayPossedeSesObjets) {
  static_assert(!std::is_copy_constructible<DeleteArray<Compte>>::value, "");
  static_assert(!std::is_copy_assignable<DeleteArray<Compte>>::value, "");
  static_assert(std::is_abstract<VirtualArray<int, const int>>::value, "");
  Compte::supprimes.clear();
  {
    DeleteArray<Compte> a;
    for (int i = 1; i <= 3; ++i) a.add(new Compte(i));
  }
  EXPECT_EQ(Compte::supprimes, (std::vector<int>{3, 2, 1}));

  Compte::supprimes.clear();
  {
    DeleteArray<Compte> a;
    DeleteArray<Compte> b;
    for (int i = 1; i <= 4; ++i) a.add(new Compte(i));
    a.remove(1);
    EXPECT_EQ(Compte::supprimes, std::vector<int>{2});
    a.set(new Compte(5), 0);
    EXPECT_EQ(Compte::supprimes, (std::vector<int>{2, 1}));
    a.moveOneTo(0, b, 0);
    a.moveWithin(0, 2, 1);
    a.insert(new Compte(6), 4);
    EXPECT_EQ(Compte::supprimes.size(), 2u);
    a.fill(new Compte(7), 1, 1);
    EXPECT_EQ(Compte::supprimes.size(), 3u);
  }
  EXPECT_EQ(Compte::vivants, 0);
  EXPECT_EQ(Compte::supprimes.size(), 7u);
}

// Random operations against a model built from vector operations.
TEST(Tableau, SuiteAleatoireContreUnModele) {
  std::mt19937 hasard(20240531);
  Sonde<int> a;
  std::vector<int> modele;
  auto tirer = [&](size_t haut) { return std::uniform_int_distribution<size_t>(0, haut)(hasard); };
  for (int pas = 0; pas < 5000; ++pas) {
    size_t taille = modele.size();
    size_t i = tirer(taille + 3);
    size_t n = tirer(6);
    int v = int(tirer(1000)) + 1;
    switch (tirer(8)) {
      case 0:
        a.add(v);
        modele.push_back(v);
        break;
      case 1:
        a.insert(v, i);
        if (i >= taille) modele.resize(i, 0);
        modele.insert(modele.begin() + i, v);
        break;
      case 2:
        a.set(v, i);
        if (i >= taille) modele.resize(i + 1, 0);
        modele[i] = v;
        break;
      case 3:
        a.remove(i);
        if (i < taille) modele.erase(modele.begin() + i);
        break;
      case 4:
        a.fill(v, n, i);
        if (n > 0 && i + n > taille) modele.resize(i + n, 0);
        for (size_t j = i; j < i + n; ++j) modele[j] = v;
        break;
      case 5: {
        size_t vers = tirer(taille + 3);
        a.moveWithin(i, vers, n);
        if (n == 0 || i >= taille) break;
        size_t k = std::min(n, taille - i);
        if (i <= vers && vers <= i + k) break;
        std::vector<int> bloc(modele.begin() + i, modele.begin() + i + k);
        size_t debut = i;
        if (vers >= taille) modele.resize(vers, 0);
        if (vers < i) debut += k;
        modele.insert(modele.begin() + vers, bloc.begin(), bloc.end());
        modele.erase(modele.begin() + debut, modele.begin() + debut + k);
        break;
      }
      case 6:
        a.appendRange(a, i, n);
        if (i < taille) {
          size_t k = std::min(n, taille - i);
          for (size_t j = i; j < i + k; ++j) modele.push_back(modele[j]);
        }
        break;
      default:
        if (taille > 200 || tirer(20) == 0) {
          a.clear();
          modele.clear();
        }
        break;
    }
    ASSERT_EQ(contenu(a), modele) << "step " << pas;
    ASSERT_TRUE(a.queueNulle()) << "step " << pas;
    ASSERT_TRUE(capaciteReglementaire(a.capacite())) << a.capacite();
    ASSERT_EQ(a.capacite() == 0, a.items() == nullptr);
  }
}

// Owning policy over tokens: every copy is a new token, every release retires
// one. The registry catches a token released twice, copied after its release,
// or live with no slot holding it.
struct Jetons : VirtualArray<int, const int> {
  static std::map<int, bool> vivants;  // token -> not yet released
  static int dernier;

  Jetons() = default;
  Jetons(const Jetons&) = delete;
  Jetons& operator=(const Jetons& src) {
    VirtualArray::operator=(src);
    return *this;
  }
  ~Jetons() override { clear(); }

  static int nouveau() {
    vivants[++dernier] = true;
    return dernier;
  }

 protected:
  int copyElement(const int& v) override {
    if (v == 0) return 0;
    EXPECT_TRUE(vivants.count(v) && vivants[v]) << "copy of released token " << v;
    return nouveau();
  }
  void detachElement(size_t i) override {
    EXPECT_EQ(attente, 0) << "detached twice before a release";
    attente = items_[i];
    items_[i] = 0;
  }
  void releasePending() override {
    if (attente) {
      EXPECT_TRUE(vivants[attente]) << "token " << attente << " released twice";
      vivants[attente] = false;
    }
    attente = 0;
  }

 private:
  int attente = 0;
};
std::map<int, bool> Jetons::vivants;
int Jetons::dernier = 0;

// Random operations on two arrays, values often taken from their own buffers:
// after each step the live tokens are exactly those the slots hold, once each.
TEST(Tableau, ChaqueElementCopieEtLibereUneFois) {
  std::mt19937 hasard(77);
  auto tirer = [&](size_t haut) { return std::uniform_int_distribution<size_t>(0, haut)(hasard); };
  Jetons::vivants.clear();
  std::set<int> externes;
  for (int k = 0; k < 4; ++k) externes.insert(Jetons::nouveau());
  {
    Jetons tableaux[2];
    for (int pas = 0; pas < 4000; ++pas) {
      Jetons& a = tableaux[tirer(1)];
      Jetons& b = tableaux[tirer(1)];
      size_t i = tirer(a.count() + 2), n = tirer(5);
      int externe = *std::next(externes.begin(), long(tirer(3)));
      // A value held by b's buffer when b has elements, else an outside token.
      const int& v = b.count() && tirer(2) ? b[tirer(b.count() - 1)] : externe;
      switch (tirer(9)) {
        case 0: a.add(v); break;
        case 1: a.insert(v, i); break;
        case 2: a.set(v, i); break;
        case 3: a.remove(i); break;
        case 4: a.fill(v, n, i); break;
        case 5: a.moveTo(i, b, tirer(b.count() + 2), n); break;
        case 6: a.appendRange(b, tirer(b.count()), n); break;
        case 7: {
          size_t debut = tirer(b.count());
          a.addValues(b.items() + debut, std::min(n, b.count() - debut));
          break;
        }
        default:
          if (tirer(3) == 0) a = b;
          if (a.count() > 100) a.clear();
          break;
      }
      std::multiset<int> tenus;
      for (const Jetons& t : tableaux)
        for (size_t j = 0; j < t.count(); ++j)
          if (t[j]) tenus.insert(t[j]);
      std::multiset<int> attendus;
      for (const auto& e : Jetons::vivants)
        if (e.second && !externes.count(e.first)) attendus.insert(e.first);
      ASSERT_EQ(tenus, attendus) << "step " << pas;
    }
  }
  for (const auto& e : Jetons::vivants) EXPECT_EQ(e.second, externes.count(e.first) == 1) << e.first;
  EXPECT_GT(Jetons::vivants.size(), 1000u);
}

std::string refus(uint64_t octets) {
  return "Error: Not enough memory to allocate " + std::to_string(octets) +
         " bytes.\n-- Press Return to continue --";
}

// Sizes that wrap size_t or pass the allocation limit never give a short buffer.
TEST(TableauDeathTest, CroissanceHorsLimite) {
  using Mots = BasicArray<unsigned int, const unsigned int>;
  const uint64_t horsTaille = sizeof(size_t) == 4 ? (uint64_t(1) << 32) * 4 : UINT64_MAX;
  const struct {
    void (*enfant)();
    uint64_t octets;
  } cas[] = {
      {[] { Mots().reserve(0x40000000); }, 0x100000000},
      {[] { BasicArray<unsigned char, const unsigned char>().reserve(0x7FFFFF01); }, 0x80000000},
      {[] { Mots().insert(1, SIZE_MAX); }, horsTaille},
      {[] { Mots().fill(1, SIZE_MAX, 1); }, horsTaille},
      {[] {
         Mots a, b;
         a.add(1);
         a.moveTo(0, b, SIZE_MAX, 1);
       },
       horsTaille},
      {[] {
         Mots a;
         a.add(1);
         a.addValues(a.items(), SIZE_MAX);
       },
       horsTaille},
  };
  for (const auto& c : cas) {
    ResultatEnfant r = executerEnfant(c.enfant, "\n");
    EXPECT_EQ(r.statut, 1);
    EXPECT_EQ(r.sortie, refus(c.octets));
  }
}

#ifndef _WIN32
DeleteArray<Compte>* objetsUrgence;
StringArray* textesUrgence;
const char* texteGarde;

// Runs after the signal set the emergency flag.
void inspecterUrgence() {
  size_t supprimes = Compte::supprimes.size();
  textesUrgence->add("b");
  bool entreNul = (*textesUrgence)[1] == nullptr;
  textesUrgence->remove(0);
  delete textesUrgence;
  objetsUrgence->remove(0);
  delete objetsUrgence;
  afficherMessage("deleted %d, null %d, kept %s\n", int(Compte::supprimes.size() - supprimes),
                  int(entreNul), texteGarde);
}

// After a fatal signal nothing is freed or deleted and texts enter as null.
TEST(TableauDeathTest, SortieUrgenceAbandonne) {
  ResultatEnfant r = executerEnfant([] {
    installerTraitementErreurs();
    objetsUrgence = new DeleteArray<Compte>;
    objetsUrgence->add(new Compte(1));
    objetsUrgence->add(new Compte(2));
    textesUrgence = new StringArray;
    textesUrgence->add("a");
    texteGarde = (*textesUrgence)[0];
    ajouterFonctionSortie(inspecterUrgence);
    raise(SIGSEGV);
  });
  EXPECT_EQ(r.statut, 255);
  EXPECT_EQ(r.sortie.rfind("deleted 0, null 1, kept a\n", 0), 0u) << r.sortie;
}
#endif

}  // namespace
