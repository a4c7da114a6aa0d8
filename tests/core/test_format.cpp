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
  va_list a;
  va_start(a, format);
  va_list b;
  va_copy(b, a);
  intptr_t n = formaterListe(nullptr, 0, format, a);
  std::string texte(static_cast<size_t>(n) + 1, '\0');
  intptr_t m = formaterListe(&texte[0], texte.size(), format, b);
  va_end(b);
  va_end(a);
  EXPECT_EQ(n, m) << format;
  texte.resize(static_cast<size_t>(n));
  return texte;
}

struct CasEntier {
  const char* format;
  int valeur;
  const char* attendu;
};

TEST(Format, DirectivesAvecUnEntier) {
  const CasEntier cas[] = {
      {"%5%|%d", 3, "%|3"},
      {"%q|%d", 3, "%q|3"},
      {"%-8L|%d", 3, "%-8L|3"},
      {"%j%t%d", 4, "%j%t4"},
      {"abc%", 0, "abc%"},
      {"x%-5", 0, "x%-5"},
      {"x%.", 0, "x%."},
      {"x%l", 0, "x%l"},
      {"%.0d", 0, ""},
      {"%5.0d", 0, "     "},
      {"%+.0d", 0, "+"},
      {"%.0x|", 0, "|"},
      {"%#x", 0, "0"},
      {"%#o", 0, "0"},
      {"%#.0o", 0, ""},
      {"%#o", 8, "010"},
      {"%#6x", 255, "  0xff"},
      {"%0#6x", 255, "0x00ff"},
      {"%#X", 255, "0XFF"},
      {"%-#6x|", 255, "0xff  |"},
      {"%#u", 5, "5"},
      {"%-5c|", 'A', "A    |"},
      {"%05c", 'A', "    A"},
      {"%.0c", 'A', "A"},
      {"%08.3d", 5, "00000005"},
      {"%8.3d", -5, "    -005"},
      {"%-05d|", 7, "7    |"},
      {"%06d", -42, "-00042"},
      {"%+ d", 5, "+5"},
      {"% +d", 5, "+5"},
      {"% d", 5, " 5"},
      {"% d", -5, "-5"},
      {"%+u", 5, "5"},
      {"%1-2d|", 7, "7           |"},
      {"%x", -1, "ffffffff"},
      {"%o", INT_MIN, "20000000000"},
      {"%d", INT_MIN, "-2147483648"},
      {"%i", 12, "12"},
      {"%hd", 70000, "4464"},
      {"%hu", -1, "65535"},
      {"%hhd", 200, "-56"},
      {"%hhhu", 300, "44"},
      {"%I8d", 200, "-56"},
      {"%I16u", 70000, "4464"},
      {"%I12d", 42, "42"},
      {"%Id", 42, "42"},
      {"%lhd", 70000, "4464"},
  };
  for (const CasEntier& c : cas) EXPECT_EQ(formate(c.format, c.valeur), c.attendu) << c.format;
}

struct CasEtoile {
  const char* format;
  int premier;
  int second;
  const char* attendu;
};

TEST(Format, LargeurEtPrecisionEnArgument) {
  const CasEtoile cas[] = {
      {"%*d|", -4, 7, "7   |"},
      {"%*d|", 4, 7, "   7|"},
      {"%-*d|", 3, 1, "1  |"},
      {"%*1d|", 1, 7, "          7|"},
      {"%.*d", 3, 7, "007"},
      {"%.*d", -1, 0, ""},
      {"%.*d", -1, 42, "42"},
      {"%*q%d", 4, 9, "%*q4"},
      {"%.*L%d", 4, 9, "%.*L4"},
      {"%*%%d", 4, 9, "%9"},
  };
  for (const CasEtoile& c : cas) {
    EXPECT_EQ(formate(c.format, c.premier, c.second), c.attendu) << c.format;
  }
}

TEST(Format, Textes) {
  struct Cas {
    const char* format;
    const char* texte;
    const char* attendu;
  } const cas[] = {
      {"%s", nullptr, "(null)"},
      {"%.3s", nullptr, "(nu"},
      {"%8s|", nullptr, "  (null)|"},
      {"%8s", "ab", "      ab"},
      {"%-4s|", "ab", "ab  |"},
      {"%05s", "ab", "   ab"},
      {"%.2s", "abc", "ab"},
      {"%.0s|", "abc", "|"},
      {"%.10s", "abc", "abc"},
  };
  for (const Cas& c : cas) EXPECT_EQ(formate(c.format, c.texte), c.attendu) << c.format;

  EXPECT_EQ(formate("%.*s", -1, "abcdef"), "abcdef");
  // The precision bounds the read: the text need not be terminated.
  const char sansFin[3] = {'a', 'b', 'c'};
  EXPECT_EQ(formate("%.3s|", sansFin), "abc|");
}

TEST(Format, LargeursEtAdresses) {
  EXPECT_EQ(formate(FMT_U64, UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(formate("%I64u", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(formate("%I64d", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(formate("%lld", static_cast<long long>(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(formate("%llx", 0x123456789abcdef0ull), "123456789abcdef0");
  EXPECT_EQ(formate("%lu", ULONG_MAX), std::to_string(ULONG_MAX));
  EXPECT_EQ(formate("%I32u", ULONG_MAX), std::to_string(ULONG_MAX));
  EXPECT_EQ(formate("%ld", LONG_MIN), std::to_string(LONG_MIN));
  EXPECT_EQ(formate("%zu", SIZE_MAX), std::to_string(SIZE_MAX));
  EXPECT_EQ(formate("%zd", SIZE_MAX), "-1");
  EXPECT_EQ(formate("%hzu", SIZE_MAX), std::to_string(SIZE_MAX));

  void* adresse = reinterpret_cast<void*>(uintptr_t(0x1b70));
  EXPECT_EQ(formate("%p", nullptr), "(nil)");
  EXPECT_EQ(formate("%8p|", nullptr), "   (nil)|");
  EXPECT_EQ(formate("%-08p|", nullptr), "(nil)   |");
  EXPECT_EQ(formate("%p", adresse), "0x1b70");
  EXPECT_EQ(formate("%hhp", adresse), "0x1b70");
  EXPECT_EQ(formate("%08p", adresse), "0x001b70");
  EXPECT_EQ(formate("%10p", adresse), "    0x1b70");
  EXPECT_EQ(formate(FMT_ADRESSE, uintptr_t(0x1b70)),
            sizeof(void*) == 8 ? "0x0000000000001b70" : "0x00001b70");
  EXPECT_EQ(formate("%s|%d|%c|%x", "a", -1, 'z', 255u), "a|-1|z|ff");
}

TEST(Format, ReglesDuTampon) {
  char tampon[8];
  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 4, "abcdef"), 6);
  EXPECT_EQ(std::string(tampon, 5), std::string("abc\0Z", 5));

  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 7, "abc%s", "def"), 6);
  EXPECT_STREQ(tampon, "abcdef");

  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 6, "abcdef"), 6);
  EXPECT_EQ(std::string(tampon, 7), std::string("abcde\0Z", 7));

  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 1, "%d", 12345), 5);
  EXPECT_EQ(tampon[0], '\0');
  EXPECT_EQ(tampon[1], 'Z');

  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 0, "abcdef"), 6);
  EXPECT_EQ(tampon[0], 'Z');

  EXPECT_EQ(formaterMessage(nullptr, 0, "abcdef"), 6);
  EXPECT_EQ(formaterMessage(nullptr, 100, "%20d", 1), 20);
  EXPECT_EQ(formaterMessage(nullptr, 0, ""), 0);

  // Padding far past the end is counted, not stored.
  memset(tampon, 'Z', sizeof tampon);
  EXPECT_EQ(formaterMessage(tampon, 4, "%-100000d", 1), 100000);
  EXPECT_EQ(std::string(tampon, 5), std::string("1  \0Z", 5));
}

TEST(Format, ConsoleCompteEtVide) {
  SortieCapturee capture;
  EXPECT_EQ(afficherMessage("a%db%s\n", 12, "xyz"), 8);
  // Flushed by the call: the file already holds it.
  EXPECT_EQ(capture.contenu(), "a12bxyz\n");
  EXPECT_EQ(afficherMessage("%c|%-3c|", 0, 'q'), 6);
  EXPECT_EQ(afficherMessage("%5000d", 7), 5000);
  EXPECT_EQ(afficherMessage("%q%5%"), 3);
  std::string texte = capture.terminer();
  EXPECT_EQ(texte.size(), 8u + 6u + 5000u + 3u);
  EXPECT_EQ(texte.substr(8, 6), std::string("\0|q  |", 6));
  EXPECT_EQ(texte.substr(8 + 6 + 4995, 5), "    7");
  EXPECT_EQ(texte.substr(texte.size() - 3), "%q%");
}

TEST(Format, PauseSArreteAuRetour) {
  SortieCapturee capture;
  {
    EntreeRedirigee entree("abc\ndef");
    attendreRetour();
    EXPECT_EQ(getchar(), 'd');
  }
  EXPECT_EQ(capture.terminer(), "-- Press Return to continue --");
}

TEST(Format, PauseSArreteEnFinDEntree) {
  const char* entrees[] = {"", "abc"};
  for (const char* texte : entrees) {
    SortieCapturee capture;
    EntreeRedirigee entree(texte);
    attendreRetour();
    EXPECT_EQ(capture.terminer(), "-- Press Return to continue --");
  }
  SortieCapturee capture;
  EntreeRedirigee fermee;
  attendreRetour();
  EXPECT_EQ(capture.terminer(), "-- Press Return to continue --");
}

#if !defined(_WIN32)
// The C library as reference on the grammar both share; the cases where the
// engine differs on purpose are left out.
class Comparaison {
 public:
  explicit Comparaison(uint64_t graine) : alea_(graine) {}
  unsigned comparees() const { return comparees_; }

  void essai() {
    std::string prefixe = tirer(3) == 0 ? "" : "<a";
    std::string directive = "%";
    const char conversions[] = "diuoxXsc%";
    char conversion = conversions[tirer(sizeof conversions - 1)];
    bool entier = strchr("diuoxX", conversion) != nullptr;

    bool zero = false, alterne = false, gauche = false;
    for (unsigned n = static_cast<unsigned>(tirer(4)); n != 0; --n) {
      char drapeau = " +-#0"[tirer(5)];
      zero |= drapeau == '0';
      alterne |= drapeau == '#';
      gauche |= drapeau == '-';
      directive += drapeau;
    }
    bool largeurArgument = false;
    int largeur = 0;
    switch (tirer(3)) {
      case 1: directive += std::to_string(1 + tirer(30)); break;
      case 2:
        directive += '*';
        largeurArgument = true;
        largeur = static_cast<int>(tirer(61)) - 30;
        break;
    }
    bool precisionArgument = false, avecPrecision = true;
    int precision = 0;
    switch (tirer(4)) {
      case 0: avecPrecision = false; break;
      case 1: directive += '.'; break;
      case 2: directive += '.' + std::to_string(tirer(25)); break;
      case 3:
        directive += ".*";
        precisionArgument = true;
        precision = static_cast<int>(tirer(25));
        break;
    }
    if (conversion == '%' && (largeurArgument || precisionArgument)) return;
    if (entier && zero && avecPrecision && !gauche) return;  // '0' pad kept with a precision
    if (conversion == 'o' && alterne && avecPrecision) return;  // "0" prefix beside the zeros

    const char* modificateur = "";
    if (entier) {
      const char* modificateurs[] = {"", "h", "hh", "l", "ll", "z"};
      modificateur = modificateurs[tirer(6)];
    }
    std::string format = prefixe + directive + modificateur + conversion + "|";

    bool signe = conversion == 'd' || conversion == 'i';
    std::string m = modificateur;
    if (conversion == 's') {
      const char* textes[] = {"", "a", "hello", "a longer text here"};
      appeler(format, largeurArgument, largeur, precisionArgument, precision, textes[tirer(4)]);
    } else if (conversion == 'c' || conversion == '%') {
      appeler(format, largeurArgument, largeur, precisionArgument, precision,
              static_cast<int>(tirer(0x7F)));
    } else if (m == "l") {
      signe ? appeler(format, largeurArgument, largeur, precisionArgument, precision, valeur<long>())
            : appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<unsigned long>());
    } else if (m == "ll") {
      signe ? appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<long long>())
            : appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<unsigned long long>());
    } else if (m == "z") {
      signe ? appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<std::make_signed<size_t>::type>())
            : appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<size_t>());
    } else {
      signe ? appeler(format, largeurArgument, largeur, precisionArgument, precision, valeur<int>())
            : appeler(format, largeurArgument, largeur, precisionArgument, precision,
                      valeur<unsigned>());
    }
  }

 private:
  uint64_t tirer(uint64_t n) { return alea_() % n; }

  template <typename T>
  T valeur() {
    switch (tirer(6)) {
      case 0: return 0;
      case 1: return 1;
      case 2: return std::numeric_limits<T>::max();
      case 3: return std::numeric_limits<T>::min();
      case 4: return static_cast<T>(alea_());
    }
    return static_cast<T>(alea_() >> tirer(64));
  }

  template <typename V>
  void appeler(const std::string& format, bool avecLargeur, int largeur, bool avecPrecision,
               int precision, V valeur) {
    if (avecLargeur && avecPrecision) {
      verifier(format, largeur, precision, valeur);
    } else if (avecLargeur) {
      verifier(format, largeur, valeur);
    } else if (avecPrecision) {
      verifier(format, precision, valeur);
    } else {
      verifier(format, valeur);
    }
  }

  template <typename... A>
  void verifier(const std::string& format, A... arguments) {
    // A random buffer size also checks the cut output against the reference.
    size_t taille = tirer(4) == 0 ? tirer(40) : 200;
    char attendu[200], obtenu[200];
    memset(attendu, 'Z', sizeof attendu);
    memset(obtenu, 'Z', sizeof obtenu);
    ++comparees_;
    int n = snprintf(attendu, taille, format.c_str(), arguments...);
    intptr_t m = formaterMessage(obtenu, taille, format.c_str(), arguments...);
    EXPECT_EQ(n, m) << format;
    EXPECT_EQ(std::string(attendu, sizeof attendu), std::string(obtenu, sizeof obtenu))
        << format << " size " << taille;
  }

  std::mt19937_64 alea_;
  unsigned comparees_ = 0;
};

TEST(Format, AccordAvecLaBibliothequeC) {
  Comparaison comparaison(0x1e45);
  for (int i = 0; i < 40000 && !testing::Test::HasFailure(); ++i) comparaison.essai();
  EXPECT_GT(comparaison.comparees(), 25000u);
}
#endif

}  // namespace
