#include "core/format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>

#include "support/flux_rediriges.h"

namespace {

std::string formate(const char* format, ...) {
  va_list a, b;
  va_start(a, format);
  va_copy(b, a);
  intptr_t n = formaterListe(nullptr, 0, format, a);
  std::string texte(static_cast<size_t>(n) + 1, '\0');
  EXPECT_EQ(formaterListe(&texte[0], texte.size(), format, b), n) << format;
  va_end(b);
  va_end(a);
  texte.resize(static_cast<size_t>(n));
  return texte;
}

TEST(Format, Directives) {
  // Two int arguments each; most directives use one.
  struct Cas {
    const char* format;
    int premier, second;
    const char* attendu;
  } const cas[] = {
      {"%5%|%d", 3, 0, "%|3"},      {"%q|%d", 3, 0, "%q|3"},        {"%-8L|%d", 3, 0, "%-8L|3"},
      {"abc%", 0, 0, "abc%"},       {"x%-5", 0, 0, "x%-5"},         {"x%.", 0, 0, "x%."},
      {"%.0d", 0, 0, ""},           {"%5.0d", 0, 0, "     "},       {"%+.0d", 0, 0, "+"},
      {"%#x", 0, 0, "0"},           {"%#.0o", 0, 0, ""},            {"%#o", 8, 0, "010"},
      {"%#6x", 255, 0, "  0xff"},   {"%0#6x", 255, 0, "0x00ff"},    {"%-#6X|", 255, 0, "0XFF  |"},
      {"%-5c|", 'A', 0, "A    |"},  {"%05c", 'A', 0, "    A"},      {"%08.3d", -5, 0, "-0000005"},
      {"%-05d|", 7, 0, "7    |"},   {"% +d", 5, 0, "+5"},           {"%+u", 5, 0, "5"},
      {"%1-2d|", 7, 0, "7           |"},                              {"%hu", -1, 0, "65535"},
      {"%hhd", 200, 0, "-56"},      {"%I8d", 200, 0, "-56"},        {"%I16u", 70000, 0, "4464"},
      {"%I12d", 42, 0, "42"},       {"%lhd", 70000, 0, "4464"},     {"%*d|", -4, 7, "7   |"},
      {"%*1d|", 1, 7, "          7|"},                                {"%.*d", -1, 0, ""},
      {"%*q%d", 4, 9, "%*q4"},      {"%*%%d", 4, 9, "%9"},
  };
  for (const Cas& c : cas) EXPECT_EQ(formate(c.format, c.premier, c.second), c.attendu) << c.format;
}

TEST(Format, TextesLargeursEtAdresses) {
  EXPECT_EQ(formate("%s|%.3s|%8s|%-4s|%05s", nullptr, nullptr, "ab", "ab", "ab"),
            "(null)|(nu|      ab|ab  |   ab");
  EXPECT_EQ(formate("%.*s", -1, "abcdef"), "abcdef");
  const char sansFin[3] = {'a', 'b', 'c'};  // the precision bounds the read
  EXPECT_EQ(formate("%.3s|", sansFin), "abc|");

  EXPECT_EQ(formate(FMT_U64 "|%I64u", UINT64_MAX, UINT64_MAX),
            "18446744073709551615|18446744073709551615");
  EXPECT_EQ(formate("%I64d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(formate("%lu|%I32u", ULONG_MAX, ULONG_MAX),
            std::to_string(ULONG_MAX) + "|" + std::to_string(ULONG_MAX));
  EXPECT_EQ(formate("%hzu|%zd", SIZE_MAX, SIZE_MAX), std::to_string(SIZE_MAX) + "|-1");

  void* adresse = reinterpret_cast<void*>(uintptr_t(0x1b70));
  EXPECT_EQ(formate("%p|%8p|%-08p|", nullptr, nullptr, nullptr), "(nil)|   (nil)|(nil)   |");
  EXPECT_EQ(formate("%p|%hhp|%08p", adresse, adresse, adresse), "0x1b70|0x1b70|0x001b70");
  EXPECT_EQ(formate(FMT_ADRESSE, uintptr_t(0x1b70)),
            sizeof(void*) == 8 ? "0x0000000000001b70" : "0x00001b70");
}

TEST(Format, ReglesDuTampon) {
  struct Cas {
    size_t taille;
    const char* stocke;  // the buffer's first bytes afterwards
    size_t longueur;
  } const cas[] = {
      {0, "ZZ", 2}, {1, "\0Z", 2}, {4, "abc\0Z", 5}, {6, "abcde\0Z", 7}, {7, "abcdef\0Z", 8},
  };
  for (const Cas& c : cas) {
    char tampon[8];
    memset(tampon, 'Z', sizeof tampon);
    EXPECT_EQ(formaterMessage(tampon, c.taille, "abc%s", "def"), 6);
    EXPECT_EQ(std::string(tampon, c.longueur), std::string(c.stocke, c.longueur)) << c.taille;
  }
  EXPECT_EQ(formaterMessage(nullptr, 100, "abcdef"), 6);
  char tampon[5] = "ZZZZ";
  EXPECT_EQ(formaterMessage(tampon, 4, "%-100000d", 1), 100000);  // counted, not stored
  EXPECT_EQ(std::string(tampon, 5), std::string("1  \0", 5));
}

TEST(Format, ConsoleCompteEtVide) {
  SortieCapturee capture;
  EXPECT_EQ(afficherMessage("a%db%s\n", 12, "xyz"), 8);
  EXPECT_EQ(capture.contenu(), "a12bxyz\n");  // already flushed
  EXPECT_EQ(afficherMessage("%c|%5000d", 0, 7), 5002);
  EXPECT_EQ(capture.terminer(), std::string("a12bxyz\n\0|", 10) + std::string(4999, ' ') + "7");
}

TEST(Format, ConsoleEtTamponDonnentLesMemesOctets) {
  // Runs, paddings and texts around and across the console's gathering;
  // each format takes one text and one number.
  const std::string long1(700, 'a'), long2(511, 'b');
  struct Cas {
    const char* format;
    const char* texte;
  } const cas[] = {{"%s|%u", long1.c_str()}, {"x%-600s|%u", long2.c_str()},
                   {"%s%600u", long2.c_str()}, {"%-513s%%%5u", "y"}};
  for (const Cas& c : cas) {
    SortieCapturee capture;
    int n = afficherMessage(c.format, c.texte, 42u);
    std::string attendu = formate(c.format, c.texte, 42u);
    EXPECT_EQ(capture.terminer(), attendu) << c.format;
    EXPECT_EQ(static_cast<size_t>(n), attendu.size());
  }
}

TEST(Format, PauseFinitAuRetourOuEnFinDEntree) {
  const char* invite = "-- Press Return to continue --";
  {
    SortieCapturee capture;
    EntreeRedirigee entree("abc\ndef");
    attendreRetour();
    EXPECT_EQ(getchar(), 'd');
    EXPECT_EQ(capture.terminer(), invite);
  }
  for (const char* texte : {"", "abc"}) {
    SortieCapturee capture;
    EntreeRedirigee entree(texte);
    attendreRetour();
    EXPECT_EQ(capture.terminer(), invite);
  }
  SortieCapturee capture;
  EntreeRedirigee fermee;
  attendreRetour();
  EXPECT_EQ(capture.terminer(), invite);
}

#if !defined(_WIN32)
// The C library as reference on the grammar both share; the cases where the
// engine differs on purpose are left out.
class Comparaison {
 public:
  explicit Comparaison(uint64_t graine) : alea_(graine) {}
  unsigned comparees = 0;

  void essai() {
    char conversion = "diuoxXsc%"[tirer(9)];
    bool entier = strchr("diuoxX", conversion) != nullptr;
    std::string drapeaux;
    for (unsigned n = static_cast<unsigned>(tirer(4)); n != 0; --n) drapeaux += " +-#0"[tirer(5)];
    auto drapeau = [&](char c) { return drapeaux.find(c) != std::string::npos; };
    std::string directive = (tirer(3) == 0 ? "%" : "<a%") + drapeaux;
    int etoiles[2], nombre = 0;
    auto etoile = [&](int valeur) {
      directive += '*';
      etoiles[nombre++] = valeur;
    };
    if (tirer(3) == 0) {
      directive += std::to_string(1 + tirer(30));
    } else if (tirer(2) == 0) {
      etoile(static_cast<int>(tirer(61)) - 30);
    }
    bool precision = tirer(4) != 0;
    if (precision) {
      directive += '.';
      if (tirer(3) == 0) {
        directive += std::to_string(tirer(25));
      } else if (tirer(2) == 0) {
        etoile(static_cast<int>(tirer(25)));
      }
    }
    if (conversion == '%' && nombre != 0) return;
    if (entier && precision && drapeau('0') && !drapeau('-')) return;  // '0' pad kept
    if (conversion == 'o' && precision && drapeau('#')) return;         // "0" prefix added
    const char* modificateurs[] = {"", "h", "hh", "l", "ll", "z"};
    unsigned taille = entier ? static_cast<unsigned>(tirer(6)) : 0;
    directive = directive + modificateurs[taille] + conversion + '|';

    auto envoyer = [&](auto v) {
      if (nombre == 2) verifier(directive, etoiles[0], etoiles[1], v);
      else if (nombre == 1) verifier(directive, etoiles[0], v);
      else verifier(directive, v);
    };
    bool signe = conversion == 'd' || conversion == 'i';
    if (conversion == 's') {
      const char* textes[] = {"", "a", "hello", "a longer text here"};
      envoyer(textes[tirer(4)]);
    } else if (taille == 3) {
      signe ? envoyer(valeur<long>()) : envoyer(valeur<unsigned long>());
    } else if (taille == 4) {
      signe ? envoyer(valeur<long long>()) : envoyer(valeur<unsigned long long>());
    } else if (taille == 5) {
      signe ? envoyer(valeur<std::make_signed<size_t>::type>()) : envoyer(valeur<size_t>());
    } else {
      signe || !entier ? envoyer(valeur<int>()) : envoyer(valeur<unsigned>());
    }
  }

 private:
  uint64_t tirer(uint64_t n) { return alea_() % n; }

  template <typename T>
  T valeur() {
    switch (tirer(5)) {
      case 0: return 0;
      case 1: return std::numeric_limits<T>::max();
      case 2: return std::numeric_limits<T>::min();
      case 3: return static_cast<T>(alea_());
    }
    return static_cast<T>(alea_() >> tirer(64));
  }

  template <typename... A>
  void verifier(const std::string& format, A... arguments) {
    // A random buffer size also checks the cut output.
    size_t taille = tirer(4) == 0 ? tirer(40) : 200;
    char attendu[200], obtenu[200];
    memset(attendu, 'Z', sizeof attendu);
    memset(obtenu, 'Z', sizeof obtenu);
    ++comparees;
    EXPECT_EQ(snprintf(attendu, taille, format.c_str(), arguments...),
              formaterMessage(obtenu, taille, format.c_str(), arguments...))
        << format;
    EXPECT_EQ(std::string(attendu, sizeof attendu), std::string(obtenu, sizeof obtenu))
        << format << " size " << taille;
  }

  std::mt19937_64 alea_;
};

TEST(Format, AccordAvecLaBibliothequeC) {
  Comparaison comparaison(0x1e45);
  for (int i = 0; i < 40000 && !testing::Test::HasFailure(); ++i) comparaison.essai();
  EXPECT_GT(comparaison.comparees, 25000u);
}
#endif

}  // namespace
