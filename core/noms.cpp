#include "core/noms.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"

namespace {

const char CHIFFRES_HEXA[] = "0123456789abcdef";

// Value of a lower-case hex digit, or -1 (NUL included).
int valeurHexa(char c) {
  TRACER_APPEL();
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

uint16_t majuscule(uint16_t unite) {
  return unite < 256 ? static_cast<uint16_t>(toupper(unite)) : unite;
}

bool unitesEgales(uint16_t a, uint16_t b, bool ignorerCasse) {
  return a == b || (ignorerCasse && a < 256 && b < 256 && majuscule(a) == majuscule(b));
}

bool estAEchapper(uint16_t unite, bool garderSeparateurs, bool echapperEspaces) {
  TRACER_APPEL();
  if (unite < 32 || unite >= 127) return true;
  switch (unite) {
    case '/':
    case ':':
    case '\\':
      return !garderSeparateurs;
    case ' ':
      return echapperEspaces;
    case '*':
    case '<':
    case '>':
    case '?':
    case '[':
    case ']':
      return true;
    default:
      return false;
  }
}

// Writes one unit in escaped form; returns the characters written (1, 4 or 6).
size_t ecrireUnite(uint16_t unite, bool garderSeparateurs, bool echapperEspaces, char* d) {
  TRACER_APPEL();
  if (unite >= 256) {
    d[0] = '<';
    d[1] = CHIFFRES_HEXA[(unite >> 12) & 0xF];
    d[2] = CHIFFRES_HEXA[(unite >> 8) & 0xF];
    d[3] = CHIFFRES_HEXA[(unite >> 4) & 0xF];
    d[4] = CHIFFRES_HEXA[unite & 0xF];
    d[5] = '>';
    return 6;
  }
  if (estAEchapper(unite, garderSeparateurs, echapperEspaces)) {
    d[0] = '<';
    d[1] = CHIFFRES_HEXA[(unite >> 4) & 0xF];
    d[2] = CHIFFRES_HEXA[unite & 0xF];
    d[3] = '>';
    return 4;
  }
  d[0] = static_cast<char>(unite);
  return 1;
}

// An escape at p: its length (4 or 6) and unit, or 0 when p holds none.
// Every character is checked before the next is read.
size_t lireEchappement(const char* p, uint16_t* unite, bool* barreEchappee) {
  TRACER_APPEL();
  if (p[0] != '<') return 0;
  uint8_t octet;
  if (lireHexa2(p + 1, &octet) && p[3] == '>') {
    *unite = octet;
    if (octet == '/' && barreEchappee) *barreEchappee = true;
    return 4;
  }
  uint16_t valeur;
  if (lireHexa4(p + 1, &valeur) && p[5] == '>') {
    *unite = valeur;
    return 6;
  }
  return 0;
}

// The unit at p (p not at the NUL); returns the characters it took.
size_t lireUnite(const char* p, uint16_t* unite, bool* barreEchappee) {
  TRACER_APPEL();
  size_t pris = lireEchappement(p, unite, barreEchappee);
  if (pris) return pris;
  *unite = static_cast<unsigned char>(*p);
  return 1;
}

// Decoded units in a new buffer, ended by a 0 unit.
uint16_t* decoderNom(const char* nom, uint64_t* nombre) {
  TRACER_APPEL();
  uint16_t* unites = static_cast<uint16_t*>(xmalloc((strlen(nom) + 1) * sizeof(uint16_t)));
  desechapperNom(nom, unites, nombre, nullptr);
  return unites;
}

bool unitesEgalesListe(const uint16_t* a, uint64_t na, const uint16_t* b, uint64_t nb,
                       bool ignorerCasse) {
  TRACER_APPEL();
  if (na != nb) return false;
  for (uint64_t i = 0; i < na; i++)
    if (!unitesEgales(a[i], b[i], ignorerCasse)) return false;
  return true;
}

// Pattern units after compilation.
enum T_Genre : uint8_t { ORDINAIRE, SPECIAL, NEGATION };
struct T_UniteMotif {
  uint16_t valeur;
  T_Genre genre;
};

bool estFermante(const T_UniteMotif& u) { return u.genre == SPECIAL && u.valeur == ']'; }

// At most one unit per pattern character, plus the final 0.
T_UniteMotif* compilerMotif(const char* motif) {
  TRACER_APPEL();
  T_UniteMotif* c =
      static_cast<T_UniteMotif*>(xmalloc((strlen(motif) + 1) * sizeof(T_UniteMotif)));
  size_t n = 0;
  bool dansEnsemble = false;
  const char* p = motif;
  while (*p) {
    uint16_t unite;
    size_t pris;
    if (*p == '*') {
      while (*p == '*') p++;
      c[n++] = {'*', SPECIAL};
    } else if (*p == '?') {
      c[n++] = {'?', SPECIAL};
      p++;
    } else if ((pris = lireEchappement(p, &unite, nullptr)) != 0 && unite != 0) {
      c[n++] = {unite, ORDINAIRE};
      p += pris;
    } else if (*p == '[' && !dansEnsemble) {
      const char* q = p + 1;
      bool negation = *q == '!';
      if (negation) q++;
      bool crochetEnTete = *q == ']';
      if (crochetEnTete) q++;
      if (strchr(q, ']')) {
        c[n++] = {'[', SPECIAL};
        // Negation is decided here, so an escaped '!' stays a member.
        if (negation) c[n++] = {'!', NEGATION};
        if (crochetEnTete) c[n++] = {']', ORDINAIRE};
        dansEnsemble = true;
        p = q;
      } else {
        c[n++] = {'[', ORDINAIRE};
        p++;
      }
    } else if (*p == ']' && dansEnsemble) {
      c[n++] = {']', SPECIAL};
      dansEnsemble = false;
      p++;
    } else {
      c[n++] = {static_cast<unsigned char>(*p), ORDINAIRE};
      p++;
    }
  }
  c[n] = {0, ORDINAIRE};
  return c;
}

bool dansIntervalle(uint16_t unite, uint16_t debut, uint16_t fin, bool ignorerCasse) {
  TRACER_APPEL();
  if (debut <= unite && unite <= fin) return true;
  if (!ignorerCasse || unite >= 256 || debut >= 256 || fin >= 256) return false;
  uint16_t d = majuscule(debut), f = majuscule(fin);
  if (d == debut || f == fin) return false;
  uint16_t u = majuscule(unite);
  return d <= u && u <= f;
}

// Tests the set that opens at c[p]; *suivant is the position after its ']'.
bool dansEnsemble(const T_UniteMotif* c, size_t p, uint16_t unite, bool ignorerCasse,
                  size_t* suivant) {
  TRACER_APPEL();
  size_t k = p + 1;
  bool negation = c[k].genre == NEGATION;
  if (negation) k++;
  bool trouve = false;
  while (!estFermante(c[k])) {
    bool correspond;
    if (c[k + 1].valeur == '-' && !estFermante(c[k + 2])) {
      correspond = dansIntervalle(unite, c[k].valeur, c[k + 2].valeur, ignorerCasse);
      k += 3;
    } else {
      correspond = unitesEgales(unite, c[k].valeur, ignorerCasse);
      k++;
    }
    trouve = trouve || correspond;
  }
  *suivant = k + 1;
  return trouve != negation;
}

// Every other unit takes exactly one name unit, so going back to the newest
// star alone finds a match whenever one exists: O(name x pattern).
bool comparerMotif(const uint16_t* nom, const T_UniteMotif* c, bool ignorerCasse) {
  TRACER_APPEL();
  size_t p = 0, i = 0;
  bool etoile = false;
  size_t etoileP = 0, etoileI = 0;
  for (;;) {
    const T_UniteMotif& u = c[p];
    if (u.genre == SPECIAL && u.valeur == '*') {
      etoile = true;
      etoileP = ++p;
      etoileI = i;
      continue;
    }
    bool correspond;
    size_t suivant = p + 1;
    if (u.genre != SPECIAL) {
      correspond = unitesEgales(u.valeur, nom[i], ignorerCasse);
      if (correspond && u.valeur == 0) return true;
    } else if (u.valeur == '?') {
      correspond = nom[i] != 0;
    } else {
      correspond = nom[i] != 0 && dansEnsemble(c, p, nom[i], ignorerCasse, &suivant);
    }
    if (correspond) {
      p = suivant;
      i++;
      continue;
    }
    if (!etoile) return false;
    if (c[etoileP].genre == ORDINAIRE && c[etoileP].valeur == 0) return true;
    if (nom[etoileI] == 0) return false;
    p = etoileP;
    i = ++etoileI;
  }
}

// New text: a, the separator unless NUL, then b.
char* concatener(const char* a, char separateur, const char* b) {
  TRACER_APPEL();
  size_t la = strlen(a), lb = strlen(b);
  size_t ls = separateur ? 1 : 0;
  char* r = static_cast<char*>(xmalloc(la + ls + lb + 1));
  memcpy(r, a, la);
  if (ls) r[la] = separateur;
  memcpy(r + la + ls, b, lb + 1);
  return r;
}

}  // namespace

bool lireHexa2(const char* caracteres, uint8_t* octet) {
  TRACER_APPEL();
  int fort = valeurHexa(caracteres[0]);
  int faible = fort < 0 ? -1 : valeurHexa(caracteres[1]);
  bool valide = fort >= 0 && faible >= 0;
  if (octet) *octet = valide ? static_cast<uint8_t>(fort << 4 | faible) : 0;
  return valide;
}

bool lireHexa4(const char* caracteres, uint16_t* unite) {
  TRACER_APPEL();
  uint8_t fort, faible;
  bool valide = lireHexa2(caracteres, &fort) && lireHexa2(caracteres + 2, &faible);
  if (unite) *unite = valide ? static_cast<uint16_t>(fort << 8 | faible) : 0;
  return valide;
}

void echapperNom(const uint16_t* unites, size_t nombre, bool garderSeparateurs,
                 bool echapperEspaces, char* destination) {
  TRACER_APPEL();
  char* d = destination;
  for (size_t i = 0; i < nombre; i++) d += ecrireUnite(unites[i], garderSeparateurs, echapperEspaces, d);
  *d = 0;
}

void echapperNomOctets(const char* texte, bool garderSeparateurs, bool echapperEspaces,
                       char* destination) {
  TRACER_APPEL();
  char* d = destination;
  if (texte)
    for (const char* p = texte; *p; p++)
      d += ecrireUnite(static_cast<unsigned char>(*p), garderSeparateurs, echapperEspaces, d);
  *d = 0;
}

void desechapperNom(const char* texte, uint16_t* unites, uint64_t* nombre, bool* barreEchappee) {
  TRACER_APPEL();
  if (barreEchappee) *barreEchappee = false;
  uint64_t n = 0;
  const char* p = texte ? texte : "";
  while (*p) {
    uint16_t unite;
    p += lireUnite(p, &unite, barreEchappee);
    if (unite == 0) break;
    unites[n++] = unite;
  }
  unites[n] = 0;
  if (nombre) *nombre = n;
}

bool desechapperNomOctets(const char* texte, char* destination, bool* barreEchappee) {
  TRACER_APPEL();
  if (barreEchappee) *barreEchappee = false;
  bool tout = true;
  char* d = destination;
  const char* p = texte ? texte : "";
  while (*p) {
    uint16_t unite;
    p += lireUnite(p, &unite, barreEchappee);
    if (unite == 0) break;
    if (unite >= 256) {
      unite = '_';
      tout = false;
    }
    *d++ = static_cast<char>(unite);
  }
  *d = 0;
  return tout;
}

void normaliserNom(const char* texte, char* destination) {
  TRACER_APPEL();
  const char* source = texte ? texte : "";
  char* octets = static_cast<char*>(xmalloc(strlen(source) + 1));
  if (desechapperNomOctets(source, octets, nullptr))
    echapperNomOctets(octets, false, false, destination);
  else
    memcpy(destination, source, strlen(source) + 1);
  free(octets);
}

bool nomsEgaux(const char* nom1, const char* nom2, bool ignorerCasse) {
  TRACER_APPEL();
  if (nom1 == nom2) return true;
  if (!nom1 || !nom2) return false;
  uint64_t n1, n2;
  uint16_t* u1 = decoderNom(nom1, &n1);
  uint16_t* u2 = decoderNom(nom2, &n2);
  bool egaux = unitesEgalesListe(u1, n1, u2, n2, ignorerCasse);
  free(u1);
  free(u2);
  return egaux;
}

size_t indiceNom(const char* nom, const char* const* noms, size_t nombre, bool ignorerCasse) {
  TRACER_APPEL();
  if (!nom || !noms) return nombre;
  uint64_t n;
  uint16_t* unites = decoderNom(nom, &n);
  size_t i = 0;
  for (; i < nombre; i++) {
    if (!noms[i]) continue;
    uint64_t ne;
    uint16_t* entree = decoderNom(noms[i], &ne);
    bool egaux = unitesEgalesListe(unites, n, entree, ne, ignorerCasse);
    free(entree);
    if (egaux) break;
  }
  free(unites);
  return i;
}

char* nomEnMajuscules(const char* nom) {
  TRACER_APPEL();
  if (!nom) return nullptr;
  uint64_t n;
  uint16_t* unites = decoderNom(nom, &n);
  for (uint64_t i = 0; i < n; i++) unites[i] = majuscule(unites[i]);
  char* resultat = static_cast<char*>(xmalloc(6 * n + 1));
  echapperNom(unites, n, true, false, resultat);
  free(unites);
  return resultat;
}

char* joindreChemin(const char* repertoire, const char* nom, bool barreSiVide) {
  TRACER_APPEL();
  if (!repertoire) return xstrdup(nom);
  if (!nom) return xstrdup(repertoire);
  size_t longueur = strlen(repertoire);
  if (longueur == 0)
    return concatener(barreSiVide && nom[0] != '/' ? "/" : "", 0, nom);
  if (repertoire[longueur - 1] == '/') return concatener(repertoire, 0, nom[0] == '/' ? nom + 1 : nom);
  return concatener(repertoire, nom[0] == '/' ? 0 : '/', nom);
}

bool contientJokers(const char* texte) {
  TRACER_APPEL();
  if (!texte) return false;
  if (strchr(texte, '*') || strchr(texte, '?')) return true;
  const char* ouvrant = strchr(texte, '[');
  return ouvrant && strchr(ouvrant + 1, ']');
}

bool correspondMotif(const char* nom, const char* motif, bool ignorerCasse) {
  TRACER_APPEL();
  if (!nom || !*nom || !motif || !*motif) return false;
  uint16_t* unites = decoderNom(nom, nullptr);
  T_UniteMotif* compile = compilerMotif(motif);
  bool resultat = comparerMotif(unites, compile, ignorerCasse);
  free(compile);
  free(unites);
  return resultat;
}
