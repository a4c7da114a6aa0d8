#include "core/fichier_options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/string_array.h"

namespace {

void definirVariable(const char* nom, const char* valeur) {
#ifdef _WIN32
  _putenv((std::string(nom) + "=" + valeur).c_str());
#else
  setenv(nom, valeur, 1);
#endif
}

std::string libere(char* texte) {
  std::string s = texte ? texte : "(null)";
  free(texte);
  return s;
}

// Every call until -1 without a message, as "index:value@line" or
// "!message@line", then "end@line".
std::string lireTout(const char* contenu, std::vector<const char*> noms,
                     const uint8_t* masque = nullptr) {
  std::vector<char> texte(contenu, contenu + strlen(contenu) + 1);
  char* curseur = texte.data();
  uint32_t ligne = 0;
  std::string lus;
  for (int garde = 0; garde < 20; garde++) {
    char *valeur, *message;
    int i = lireLigneOption(&curseur, &ligne, &valeur, noms.data(), noms.size(), &message, masque);
    if (i < 0 && !message) return lus + "end@" + std::to_string(ligne);
    lus += i >= 0 ? std::to_string(i) + ":" + libere(valeur) : "!" + libere(message);
    lus += "@" + std::to_string(ligne) + " ";
  }
  return lus;
}

TEST(FichierOptions, Lignes) {
  definirVariable("LENS_ESSAI_DOSSIER", "/home/essai");
  EXPECT_EQ(lireTout("a=1\r\n;note\n\nb=%LENS_ESSAI_DOSSIER%", {"a=", "b="}),
            "0:1@1 1:/home/essai@4 end@4");
  // LF CR is one line end, CR CR two; blanks before the name and after the
  // value go, blanks before the value stay.
  EXPECT_EQ(lireTout("\t a= x \t\n\rb=\r\r  ;c\n\nab=2\n", {"ab=", "a=", "b="}),
            "1: x@1 2:@2 0:2@6 end@6");
  EXPECT_EQ(lireTout("a=1\nx=5\n", {"a=", "b="}),
            "0:1@1 !Option \"x=5\" is unknown (at line 2 of options file).@2 end@2");
  const uint8_t masque[] = {1, 0};
  EXPECT_EQ(lireTout("b=1", {"a=", "b="}, masque),
            "!Option \"b=1\" is unknown (at line 1 of options file).@1 end@1");
  EXPECT_EQ(lireTout("a=%LENS_ESSAI_ABSENTE%", {"a="}),
            "!Environment variable \"LENS_ESSAI_ABSENTE\" is unknown.@1 end@1");
}

TEST(FichierOptions, Variables) {
  definirVariable("LENS_ESSAI_V", "val");
  definirVariable("LENS_ESSAI_R", "%LENS_ESSAI_V%");
  const char* cas[][2] = {
      {"100%%", "100%"},
      {"50% off", "50% off"},
      {"%%%LENS_ESSAI_V%x", "%valx"},
      {"%LENS_ESSAI_R%", "%LENS_ESSAI_V%"},  // an inserted value is not scanned again
      {"%NOPE%", "Environment variable \"NOPE\" is unknown."},
  };
  for (auto& c : cas) {
    bool erreur = false;
    EXPECT_EQ(libere(remplacerVariables(c[0], nullptr, nullptr, &erreur)), c[1]) << c[0];
    EXPECT_EQ(erreur, strcmp(c[0], "%NOPE%") == 0) << c[0];
  }

  const char* n[] = {"court", "long", "orphelin"};
  const char* v[] = {"", "une valeur bien plus longue que son nom"};
  StringArray noms(3, n), valeurs(2, v);
  bool erreur = true;
  EXPECT_EQ(libere(remplacerVariables("[%court%][%long%]", &noms, &valeurs, &erreur)),
            "[][une valeur bien plus longue que son nom]");
  EXPECT_FALSE(erreur);
  // A name without a value is unknown; the table replaces the environment.
  EXPECT_EQ(libere(remplacerVariables("%orphelin%", &noms, &valeurs, &erreur)),
            "Environment variable \"orphelin\" is unknown.");
  EXPECT_TRUE(erreur);
  EXPECT_EQ(libere(remplacerVariables("%LENS_ESSAI_V%", &noms, &valeurs, &erreur)),
            "Environment variable \"LENS_ESSAI_V\" is unknown.");
}

TEST(FichierOptions, Verificateurs) {
  const char* liste = "auto|manual|fixed ";
  const char* refus = " is not allowed for option mode=\n(auto|manual|fixed ).";
  struct {
    const char* valeur;
    char prefixe;
    int attendu;
  } const cas[] = {{"fixed 12", ' ', 2}, {"fixed\t12", ' ', 2}, {"  manual", ' ', 1},
                   {"fixed", ' ', -1},   {"fixed 12", 0, -1},   {"other", ' ', -1}};
  for (const auto& c : cas) {
    char* message;
    EXPECT_EQ(valeurDansListe(liste, "mode=", c.valeur, -1, &message, c.prefixe, nullptr), c.attendu)
        << c.valeur;
    EXPECT_EQ(libere(message), c.attendu < 0 ? "Value \"" + std::string(c.valeur) + "\"" + refus : "(null)");
  }
  char* message;
  EXPECT_EQ(valeurDansListe(liste, nullptr, nullptr, 5, &message, ' ', nullptr), 5);
  EXPECT_EQ(libere(message), "Value \"\" is not allowed for option\n(auto|manual|fixed ).");
  EXPECT_EQ(valeurDansListe("size=|x", nullptr, "size=5", 7, nullptr, '=', nullptr), 0);
  const uint8_t masque[] = {0, 1, 1};
  EXPECT_EQ(valeurDansListe(liste, "mode=", "auto", 9, &message, ' ', masque), 9);
  EXPECT_EQ(libere(message), "Value \"auto\" is not allowed for option mode=\n(manual|fixed ).");

  EXPECT_EQ(valeurDansIntervalle(1, 255, "heads=", " 300", &message), 1u);
  EXPECT_EQ(libere(message), "Value \"300\" is not allowed for option heads=\n(1..255).");
  EXPECT_EQ(valeurDansIntervalle(1, 255, "heads=", "\t255", &message), 255u);
  EXPECT_EQ(message, nullptr);
  EXPECT_EQ(valeurDansIntervalle(5, 9, nullptr, "7x", &message), 5u);
  EXPECT_EQ(libere(message), "Value \"7x\" is not allowed for option\n(5..9).");
  EXPECT_EQ(valeurDansIntervalle(10, UINT64_MAX, "n=", "18446744073709551616", &message), 10u);
  EXPECT_EQ(libere(message),
            "Value \"18446744073709551616\" is not allowed for option n=\n(10..18446744073709551615).");
}

TEST(FichierOptions, MotsEtNoms) {
  char texte[] = "  ab\tcd  ";
  char* reste = nullptr;
  EXPECT_STREQ(prochainMot(texte, &reste), "ab");
  EXPECT_STREQ(prochainMot(reste, &reste), "cd");
  EXPECT_EQ(prochainMot(reste, &reste), nullptr);
  EXPECT_EQ(reste, nullptr);
  char seul[] = "mot";
  EXPECT_STREQ(prochainMot(seul, &reste), "mot");
  EXPECT_EQ(reste, seul + 3);

  const char* noms[] = {"size=", "s", nullptr, "Mode="};
  const uint8_t masque[] = {0, 1, 1, 1};
  EXPECT_EQ(chercherOption(noms, 4, "size=3", nullptr), 0);
  EXPECT_EQ(chercherOption(noms, 4, "sz", nullptr), 1);
  EXPECT_EQ(chercherOption(noms, 4, "mode=a", nullptr), -1);
  EXPECT_EQ(chercherOption(noms, 4, "size=3", masque), -1);
}

}  // namespace
