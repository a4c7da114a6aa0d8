// Number and text helpers.
#include "core/texte.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"

bool vidageSecteurs = false;

uint32_t divArrondiHaut(uint32_t dividende, uint32_t diviseur) {
  return dividende / diviseur + (dividende % diviseur != 0 ? 1 : 0);
}

uint64_t divArrondiHaut64(uint64_t dividende, uint64_t diviseur) {
  return dividende / diviseur + (dividende % diviseur != 0 ? 1 : 0);
}

uint64_t divArrondiHautMixte(uint64_t dividende, uint32_t diviseur) {
  return divArrondiHaut64(dividende, diviseur);
}

namespace {

// r x 10 = chiffre x b + nouveau reste, for r < b, without overflow.
unsigned chiffreSuivant(uint64_t* reste, uint64_t b) {
  TRACER_APPEL();
  uint64_t r = *reste;
  uint64_t t = 0;
  unsigned chiffre = 0;
  for (int i = 0; i < 10; ++i) {
    if (t >= b - r) {
      t -= b - r;
      ++chiffre;
    } else {
      t += r;
    }
  }
  *reste = t;
  return chiffre;
}

}  // namespace

char* texteRapport(uint64_t a, uint64_t b, uint8_t largeur, uint8_t decimales, bool aDroite) {
  TRACER_APPEL();
  unsigned d = decimales > 6 ? 6 : decimales;
  size_t champ = largeur > d ? largeur : d + 1;
  size_t taille = champ + 1 > 68 ? champ + 1 : 68;
  char* texte = static_cast<char*>(xmalloc(taille));

  if (b == 0) {
    formaterMessage(texte, taille, "+Inf");
  } else {
    // Exact a x 10^d / b, rounded half up: the integer part from the quotient,
    // the decimals by long division of the remainder.
    uint64_t entier = a / b;
    uint64_t reste = a % b;
    uint64_t fraction = 0;
    uint64_t p = 1;
    for (unsigned i = 0; i < d; ++i) {
      fraction = fraction * 10 + chiffreSuivant(&reste, b);
      p *= 10;
    }
    if (reste >= b - b / 2) {
      if (++fraction == p) {
        fraction = 0;
        ++entier;
      }
    }
    if (d != 0) {
      formaterMessage(texte, taille, FMT_U64 ".%0*" FMT_L64 "u", entier, static_cast<int>(d),
                      fraction);
    } else {
      formaterMessage(texte, taille, FMT_U64, entier);
    }
  }

  size_t longueur = strlen(texte);
  if (longueur < champ) {
    size_t pad = champ - longueur;
    if (aDroite) {
      memmove(texte + pad, texte, longueur + 1);
      memset(texte, ' ', pad);
    } else {
      memset(texte + longueur, ' ', pad);
      texte[champ] = '\0';
    }
  }
  return texte;
}

char* texteTaille(uint64_t octets, bool avecGo) {
  TRACER_APPEL();
  uint64_t unite = 1073741824;
  const char* nom = avecGo ? " GB" : "";
  if (octets <= 0x9FFFFF) {
    unite = 1024;
    nom = " kB";
  } else if (octets <= 0x27FFFFFFFull) {
    unite = 1048576;
    nom = " MB";
  }
  char* texte = texteRapport(octets, unite, 0, 2, false);
  ajouterTexte(&texte, nom);
  return texte;
}

void ajouterTexte(char** texte, const char* ajout) {
  TRACER_APPEL();
  if (texte == nullptr || ajout == nullptr || *ajout == '\0') return;
  size_t longueur = *texte ? strlen(*texte) : 0;
  size_t longueurAjout = strlen(ajout);
  char* nouveau = static_cast<char*>(xrealloc(*texte, longueur + longueurAjout + 1));
  memcpy(nouveau + longueur, ajout, longueurAjout + 1);
  *texte = nouveau;
}

void mettreEnMajuscules(char* texte) {
  TRACER_APPEL();
  if (texte == nullptr) return;
  for (; *texte != '\0'; ++texte) *texte = static_cast<char>(toupper(static_cast<unsigned char>(*texte)));
}

int comparerSansCasse(const void* bloc1, const void* bloc2, size_t nombre) {
  TRACER_APPEL();
  const unsigned char* p1 = static_cast<const unsigned char*>(bloc1);
  const unsigned char* p2 = static_cast<const unsigned char*>(bloc2);
  for (size_t i = 0; i < nombre; ++i) {
    if (toupper(p1[i]) != toupper(p2[i])) return static_cast<int>(p1[i]) - static_cast<int>(p2[i]);
  }
  return 0;
}

bool commencePar(const char* texte, const char* prefixe) {
  return texte && strncmp(texte, prefixe, strlen(prefixe)) == 0;
}

const char* rechercherSansCasse(const char* texte, const char* motif) {
  TRACER_APPEL();
  if (texte == nullptr || motif == nullptr) return nullptr;
  size_t longueur = strlen(texte);
  size_t longueurMotif = strlen(motif);
  if (longueurMotif > longueur) return nullptr;
  if (longueurMotif == 0) return texte + longueur;
  for (size_t i = 0; i <= longueur - longueurMotif; ++i) {
    if (comparerSansCasse(texte + i, motif, longueurMotif) == 0) return texte + i;
  }
  return nullptr;
}

uint64_t lireNombreJusqua(const char* texte, char fin, bool* erreur) {
  TRACER_APPEL();
  errno = 0;
  *erreur = true;
  if (texte == nullptr || !isdigit(static_cast<unsigned char>(*texte))) return 0;
  char* arret = nullptr;
  unsigned long long valeur = strtoull(texte, &arret, 10);
  if (*arret != fin) return 0;
  if ((valeur == ULLONG_MAX || valeur == 0) && errno != 0) return 0;
  *erreur = false;
  return valeur;
}

uint64_t lireNombre(const char* texte, bool* erreur) {
  return lireNombreJusqua(texte, '\0', erreur);
}

int64_t lireNombreSigne(const char* texte, bool* erreur) {
  TRACER_APPEL();
  errno = 0;
  *erreur = true;
  if (texte == nullptr || (!isdigit(static_cast<unsigned char>(*texte)) && *texte != '-')) return 0;
  char* arret = nullptr;
  long long valeur = strtoll(texte, &arret, 10);
  if (*arret != '\0') return 0;
  if ((valeur == 0 || valeur == LLONG_MIN || valeur == LLONG_MAX) && errno != 0) return 0;
  *erreur = false;
  return valeur;
}

uint64_t lireNombreHexa(const char* texte, bool* erreur) {
  TRACER_APPEL();
  errno = 0;
  *erreur = true;
  if (texte == nullptr || !isxdigit(static_cast<unsigned char>(*texte))) return 0;
  if (texte[1] == 'x' || texte[1] == 'X') return 0;
  char* arret = nullptr;
  unsigned long long valeur = strtoull(texte, &arret, 16);
  if (*arret != '\0') return 0;
  if ((valeur == ULLONG_MAX || valeur == 0) && errno != 0) return 0;
  *erreur = false;
  return valeur;
}

uint8_t* texteHexaVersOctets(const char* texte, uint64_t* nombre) {
  TRACER_APPEL();
  *nombre = 0;
  if (texte == nullptr) return nullptr;
  uint8_t* octets = static_cast<uint8_t*>(xmalloc(strlen(texte) + 1));
  const char* p = texte;
  while (true) {
    while (*p == ' ') ++p;
    if (*p == '\0') break;
    char jeton[25];
    size_t longueur = 0;
    while (*p != ' ' && *p != '\0') {
      if (!isxdigit(static_cast<unsigned char>(*p)) || longueur == 24) {
        free(octets);
        *nombre = 0;
        return nullptr;
      }
      jeton[longueur++] = *p++;
    }
    jeton[longueur] = '\0';
    bool erreur;
    uint64_t valeur = lireNombreHexa(jeton, &erreur);
    if (erreur || valeur > 0xFF) {
      free(octets);
      *nombre = 0;
      return nullptr;
    }
    octets[(*nombre)++] = static_cast<uint8_t>(valeur);
  }
  if (*nombre == 0) {
    free(octets);
    return nullptr;
  }
  return octets;
}

namespace {
const char CHIFFRES_HEXA[] = "0123456789ABCDEF";
}

char* octetsVersTexteHexa(const uint8_t* octets, size_t nombre) {
  TRACER_APPEL();
  if (octets == nullptr || nombre == 0) return nullptr;
  // A count whose text cannot be sized asks for more than any allocation may.
  size_t taille = nombre > SIZE_MAX / 3 ? SIZE_MAX : 3 * nombre;
  char* texte = static_cast<char*>(xmalloc(taille));
  for (size_t i = 0; i < nombre; ++i) {
    texte[3 * i] = CHIFFRES_HEXA[octets[i] >> 4];
    texte[3 * i + 1] = CHIFFRES_HEXA[octets[i] & 0xF];
    texte[3 * i + 2] = ' ';
  }
  texte[3 * nombre - 1] = '\0';
  return texte;
}

void ligneVidageHexa(unsigned largeurAdresse, char separateur, char milieu, uint64_t adresse,
                     const uint8_t* donnees, size_t longueur, unsigned octetsParLigne,
                     char* destination) {
  TRACER_APPEL();
  char* p = destination;
  if (largeurAdresse != 0) {
    // Upper-case digits with leading zeros; a longer address keeps its first
    // digits so the columns stay in place.
    char chiffres[16];
    unsigned nombre = 0;
    do {
      chiffres[15 - nombre++] = CHIFFRES_HEXA[adresse & 0xF];
      adresse >>= 4;
    } while (adresse != 0);
    const char* premier = chiffres + 16 - nombre;
    for (unsigned i = 0; i < largeurAdresse; ++i) {
      *p++ = largeurAdresse - i > nombre ? '0' : *premier++;
    }
    if (separateur != '\0') *p++ = separateur;
    *p++ = ' ';
  }
  size_t presents = longueur < octetsParLigne ? longueur : octetsParLigne;
  if (donnees == nullptr) presents = 0;
  for (size_t i = 0; i < octetsParLigne; ++i) {
    if (i < presents) {
      *p++ = CHIFFRES_HEXA[donnees[i] >> 4];
      *p++ = CHIFFRES_HEXA[donnees[i] & 0xF];
    } else {
      *p++ = ' ';
      *p++ = ' ';
    }
    *p++ = ' ';
  }
  if (milieu != '\0') *p++ = milieu;
  for (size_t i = 0; i < octetsParLigne; ++i) {
    if (i < presents) {
      *p++ = donnees[i] >= 0x20 && donnees[i] <= 0x7E ? static_cast<char>(donnees[i]) : '.';
    } else {
      *p++ = ' ';
    }
  }
  *p = '\0';
}

bool afficherSecteurs(const uint8_t* donnees, size_t nombre, uint64_t adresse) {
  TRACER_APPEL();
  if (nombre == 0 || donnees == nullptr || !vidageSecteurs) return true;
  const unsigned parLigne = 16;
  char ligne[8 + 4 * parLigne + 3];
  for (size_t decalage = 0; decalage < nombre; decalage += parLigne) {
    ligneVidageHexa(8, ':', '\0', adresse + decalage, donnees + decalage, nombre - decalage,
                    parLigne, ligne);
    size_t attendu = strlen(ligne) + 1;
    if (afficherMessage("%s\n", ligne) < static_cast<int>(attendu)) return false;
  }
  return true;
}
