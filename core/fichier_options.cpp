#include "core/fichier_options.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/string_array.h"
#include "core/texte.h"

namespace {

bool estBlanc(char c) { return c == ' ' || c == '\t'; }

char* formaterAlloue(const char* format, ...) {
  TRACER_APPEL();
  va_list arguments, copie;
  va_start(arguments, format);
  va_copy(copie, arguments);
  intptr_t longueur = formaterListe(nullptr, 0, format, arguments);
  size_t taille = longueur > 0 ? static_cast<size_t>(longueur) + 1 : 1;
  char* texte = static_cast<char*>(xmalloc(taille));
  texte[0] = 0;
  formaterListe(texte, taille, format, copie);
  va_end(copie);
  va_end(arguments);
  return texte;
}

// Value of a variable: from the tables when given, else the environment.
const char* valeurVariable(const char* nom, const StringArray* noms, const StringArray* valeurs) {
  TRACER_APPEL();
  if (!noms) return getenv(nom);
  size_t i = noms->find(nom, 0);
  if (i >= noms->count() || !valeurs || i >= valeurs->count()) return nullptr;
  return (*valeurs)[i];
}

// " " and the name, or nothing when there is no name.
const char* separateurNom(const char* nom) { return nom && *nom ? " " : ""; }

bool motCorrespond(const char* mot, size_t longueur, const char* valeur, char prefixe) {
  TRACER_APPEL();
  if (strlen(valeur) == longueur && memcmp(valeur, mot, longueur) == 0) return true;
  if (prefixe == 0 || longueur == 0 || mot[longueur - 1] != prefixe) return false;
  if (strncmp(valeur, mot, longueur) == 0) return true;
  return prefixe == ' ' && strncmp(valeur, mot, longueur - 1) == 0 && valeur[longueur - 1] == '\t';
}

// The words of the list whose mask byte is not 0, joined by '|'.
char* motsPermis(const char* liste, const uint8_t* masque) {
  TRACER_APPEL();
  char* resultat = static_cast<char*>(xmalloc(strlen(liste) + 1));
  char* d = resultat;
  bool premier = true;
  for (size_t indice = 0;; indice++) {
    const char* fin = strchr(liste, '|');
    size_t longueur = fin ? static_cast<size_t>(fin - liste) : strlen(liste);
    if (!masque || masque[indice]) {
      if (!premier) *d++ = '|';
      memcpy(d, liste, longueur);
      d += longueur;
      premier = false;
    }
    if (!fin) break;
    liste = fin + 1;
  }
  *d = 0;
  return resultat;
}

}  // namespace

const char* sauterBlancs(const char* texte) {
  TRACER_APPEL();
  while (estBlanc(*texte)) texte++;
  return texte;
}

void supprimerBlancsFin(char* texte) {
  TRACER_APPEL();
  if (!texte) return;
  size_t longueur = strlen(texte);
  while (longueur > 0 && estBlanc(texte[longueur - 1])) texte[--longueur] = 0;
}

char* prochainMot(char* texte, char** reste) {
  TRACER_APPEL();
  if (reste) *reste = nullptr;
  if (!texte) return nullptr;
  char* mot = sauterBlancs(texte);
  if (!*mot) return nullptr;
  char* fin = mot;
  while (*fin && !estBlanc(*fin)) fin++;
  if (*fin) *fin++ = 0;
  if (reste) *reste = fin;
  return mot;
}

int chercherOption(const char* const* noms, size_t nombre, const char* ligne,
                   const uint8_t* masque) {
  TRACER_APPEL();
  if (!noms || !ligne) return -1;
  for (size_t i = 0; i < nombre && i <= INT_MAX; i++) {
    if (!noms[i] || strncmp(ligne, noms[i], strlen(noms[i])) != 0) continue;
    return masque && !masque[i] ? -1 : static_cast<int>(i);
  }
  return -1;
}

int lireLigneOption(char** curseur, uint32_t* ligne, char** valeur, const char* const* noms,
                    size_t nombre, char** message, const uint8_t* masque) {
  TRACER_APPEL();
  *valeur = nullptr;
  *message = nullptr;
  if (!*curseur) return -1;
  while (**curseur) {
    (*ligne)++;
    char* debut = sauterBlancs(*curseur);
    char* p = debut;
    while (*p && *p != '\r' && *p != '\n') p++;
    if (*p) {
      char fin = *p;
      *p++ = 0;
      // CR LF and LF CR end one line; CR CR and LF LF end two.
      if ((*p == '\r' || *p == '\n') && *p != fin) p++;
    }
    *curseur = p;
    if (!*debut || *debut == ';') continue;

    int indice = chercherOption(noms, nombre, debut, masque);
    if (indice < 0) {
      *message = formaterAlloue("Option \"%s\" is unknown (at line %u of options file).", debut,
                                static_cast<unsigned>(*ligne));
      return -1;
    }
    bool erreur;
    char* texte = remplacerVariables(debut + strlen(noms[indice]), nullptr, nullptr, &erreur);
    if (erreur) {
      *message = texte;
      return -1;
    }
    supprimerBlancsFin(texte);
    *valeur = texte;
    return indice;
  }
  return -1;
}

char* remplacerVariables(const char* texte, const StringArray* noms, const StringArray* valeurs,
                         bool* erreur) {
  TRACER_APPEL();
  if (erreur) *erreur = false;
  char* copie = xstrdup(texte ? texte : "");
  size_t position = 0;
  for (;;) {
    char* ouvrant = strchr(copie + position, '%');
    if (!ouvrant) break;
    char* fermant = strchr(ouvrant + 1, '%');
    if (!fermant) break;
    size_t debut = static_cast<size_t>(ouvrant - copie);
    size_t reste = strlen(fermant + 1);
    if (fermant == ouvrant + 1) {
      memmove(fermant, fermant + 1, reste + 1);
      position = debut + 1;
      continue;
    }
    size_t longueurNom = static_cast<size_t>(fermant - ouvrant - 1);
    char* nom = static_cast<char*>(xmalloc(longueurNom + 1));
    memcpy(nom, ouvrant + 1, longueurNom);
    nom[longueurNom] = 0;
    const char* valeur = valeurVariable(nom, noms, valeurs);
    if (!valeur) {
      char* message = formaterAlloue("Environment variable \"%s\" is unknown.", nom);
      free(nom);
      free(copie);
      if (erreur) *erreur = true;
      return message;
    }
    free(nom);
    size_t longueurValeur = strlen(valeur);
    if (longueurValeur > longueurNom + 2)
      copie = static_cast<char*>(xrealloc(copie, debut + longueurValeur + reste + 1));
    memmove(copie + debut + longueurValeur, copie + debut + longueurNom + 2, reste + 1);
    memcpy(copie + debut, valeur, longueurValeur);
    position = debut + longueurValeur;
  }
  return copie;
}

int valeurDansListe(const char* liste, const char* nom, const char* valeur, int defaut,
                    char** message, char prefixe, const uint8_t* masque) {
  TRACER_APPEL();
  if (message) *message = nullptr;
  if (!liste) liste = "";
  const char* texte = valeur ? sauterBlancs(valeur) : "";
  if (valeur) {
    const char* mot = liste;
    for (int indice = 0;; indice++) {
      const char* fin = strchr(mot, '|');
      size_t longueur = fin ? static_cast<size_t>(fin - mot) : strlen(mot);
      if (motCorrespond(mot, longueur, texte, prefixe)) {
        if (!masque || masque[indice]) return indice;
        break;
      }
      if (!fin) break;
      mot = fin + 1;
    }
  }
  if (message) {
    char* permis = motsPermis(liste, masque);
    *message = formaterAlloue("Value \"%s\" is not allowed for option%s%s\n(%s).", texte,
                              separateurNom(nom), nom ? nom : "", permis);
    free(permis);
  }
  return defaut;
}

uint64_t valeurDansIntervalle(uint64_t minimum, uint64_t maximum, const char* nom,
                              const char* valeur, char** message) {
  TRACER_APPEL();
  if (message) *message = nullptr;
  if (!valeur) return minimum;
  const char* texte = sauterBlancs(valeur);
  bool erreur;
  uint64_t nombre = lireNombre(texte, &erreur);
  if (!erreur && nombre >= minimum && nombre <= maximum) return nombre;
  if (message)
    *message = formaterAlloue("Value \"%s\" is not allowed for option%s%s\n(" FMT_U64 ".." FMT_U64 ").",
                              texte, separateurNom(nom), nom ? nom : "", minimum, maximum);
  return minimum;
}
