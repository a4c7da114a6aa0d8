#include "platform/linux/cache_blkid.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/services.h"

namespace {

const char* const CACHES_PAR_DEFAUT[] = {"/run/blkid/blkid.tab", "/etc/blkid.tab"};
const char DEBUT_ENTREE[] = "<device";
const char FIN_ENTREE[] = "</device>";

bool estBlanc(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Case-ignoring search of motif inside [debut, fin); never reads past fin.
const char* chercherBorne(const char* debut, const char* fin, const char* motif) {
  TRACER_APPEL();
  size_t longueur = strlen(motif);
  for (const char* p = debut; fin - p >= static_cast<ptrdiff_t>(longueur); ++p) {
    if (comparerSansCasse(p, motif, longueur) == 0) return p;
  }
  return nullptr;
}

bool nomAttribut(const char* nom, size_t longueur, const char* attendu) {
  TRACER_APPEL();
  return strlen(attendu) == longueur && comparerSansCasse(nom, attendu, longueur) == 0;
}

// Value of an attribute starting at *p, in double quotes or up to the next
// blank or '>'; a backslash takes the next character literally. False when
// the value runs past fin (the entry is cut short).
bool lireValeur(const char** p, const char* fin, char** valeur) {
  TRACER_APPEL();
  const char* q = *p;
  char* texte = static_cast<char*>(xmalloc(static_cast<size_t>(fin - q) + 1));
  size_t n = 0;
  bool guillemets = q < fin && *q == '"';
  if (guillemets) ++q;
  while (true) {
    if (q >= fin) {
      if (guillemets) {
        free(texte);
        return false;
      }
      break;
    }
    char c = *q;
    if (guillemets ? c == '"' : (estBlanc(c) || c == '>')) break;
    if (c == '\\') {
      if (++q >= fin) {
        free(texte);
        return false;
      }
      c = *q;
    }
    texte[n++] = c;
    ++q;
  }
  if (guillemets) ++q;  // the closing quote
  texte[n] = '\0';
  *p = q;
  *valeur = texte;
  return true;
}

void remplacer(char** ancien, char* nouveau) {
  TRACER_APPEL();
  free(*ancien);
  *ancien = nouveau;
}

struct T_EntreeLue {
  char* devno = nullptr;
  char* uuid = nullptr;
  char* etiquette = nullptr;
  char* peripherique = nullptr;
  ~T_EntreeLue() {
    TRACER_APPEL();
    free(devno);
    free(uuid);
    free(etiquette);
    free(peripherique);
  }
};

// Attributes and device path of one entry, between "<device" and
// "</device>"; false when the entry is cut short.
bool analyserEntree(const char* p, const char* fin, T_EntreeLue& entree) {
  TRACER_APPEL();
  while (true) {
    while (p < fin && estBlanc(*p)) ++p;
    if (p >= fin) return false;  // no closing '>'
    if (*p == '>') {
      ++p;
      break;
    }
    const char* nom = p;
    while (p < fin && *p != '=' && *p != '>' && !estBlanc(*p)) ++p;
    size_t longueur = static_cast<size_t>(p - nom);
    char* valeur = nullptr;
    if (p < fin && *p == '=') {
      ++p;
      if (!lireValeur(&p, fin, &valeur)) return false;
    }
    if (nomAttribut(nom, longueur, "DEVNO")) {
      remplacer(&entree.devno, valeur);
    } else if (nomAttribut(nom, longueur, "UUID")) {
      remplacer(&entree.uuid, valeur);
    } else if (nomAttribut(nom, longueur, "LABEL")) {
      remplacer(&entree.etiquette, valeur);
    } else {
      free(valeur);
    }
  }
  while (p < fin && estBlanc(*p)) ++p;
  const char* finChemin = fin;
  while (finChemin > p && estBlanc(finChemin[-1])) --finChemin;
  size_t longueur = static_cast<size_t>(finChemin - p);
  entree.peripherique = static_cast<char*>(xmalloc(longueur + 1));
  memcpy(entree.peripherique, p, longueur);
  entree.peripherique[longueur] = '\0';
  return true;
}

// An entry whose DEVNO does not parse or is no longer the node's number.
bool entreePerimee(const char* devno, const char* peripherique) {
  TRACER_APPEL();
  bool erreur = true;
  uint64_t numero;
  if ((devno[0] == '0') && (devno[1] == 'x' || devno[1] == 'X')) {
    numero = lireNombreHexa(devno + 2, &erreur);
  } else {
    numero = lireNombre(devno, &erreur);
  }
  if (erreur) return true;
  // stat, not lstat: device-mapper names are links to the node.
  struct stat64 etat;
  if (peripherique[0] == '\0' || appelsSysteme.stat64(peripherique, &etat) != 0) return true;
  return static_cast<uint64_t>(etat.st_rdev) != numero;
}

char* lireCache(const char* chemin, size_t* taille) {
  TRACER_APPEL();
  uint64_t octets = 0;
  char* texte = lireFichierTexte(chemin, &octets);
  *taille = static_cast<size_t>(octets);
  return texte;
}

}  // namespace

void CacheBlkid::ajouter(const char* peripherique, const char* etiquette, const char* uuid) {
  TRACER_APPEL();
  uint8_t drapeaux = 0;
  if (etiquette) {
    size_t i = etiquettes_.find(etiquette, 0);
    if (i < etiquettes_.count()) {
      drapeaux_[i] |= BLKID_ETIQUETTE_DOUBLE;
      drapeaux |= BLKID_ETIQUETTE_DOUBLE;
    }
  }
  if (uuid) {
    size_t i = uuids_.find(uuid, 0);
    if (i < uuids_.count()) {
      drapeaux_[i] |= BLKID_UUID_DOUBLE;
      drapeaux |= BLKID_UUID_DOUBLE;
    }
  }
  peripheriques_.add(peripherique);
  etiquettes_.add(etiquette);
  uuids_.add(uuid);
  drapeaux_.add(drapeaux);
}

void CacheBlkid::lire(const char* texte, size_t taille) {
  TRACER_APPEL();
  if (!texte) return;
  const char* fin = texte + taille;
  const char* p = texte;
  while (true) {
    const char* debut = chercherBorne(p, fin, DEBUT_ENTREE);
    if (!debut) return;
    const char* attributs = debut + strlen(DEBUT_ENTREE);
    if (attributs >= fin) return;
    if (!estBlanc(*attributs)) {  // "<devices" and the like
      p = attributs;
      continue;
    }
    const char* finEntree = chercherBorne(attributs, fin, FIN_ENTREE);
    if (!finEntree) return;
    T_EntreeLue entree;
    if (!analyserEntree(attributs, finEntree, entree)) return;
    p = finEntree + strlen(FIN_ENTREE);
    if (entree.devno ? entreePerimee(entree.devno, entree.peripherique)
                     : entree.peripherique[0] == '\0') {
      continue;
    }
    ajouter(entree.peripherique, entree.etiquette, entree.uuid);
  }
}

bool CacheBlkid::charger() {
  TRACER_APPEL();
  char* chemin = cheminCacheBlkid();
  size_t taille = 0;
  char* texte = nullptr;
  if (chemin) {
    // A configured cache that cannot be read gives nothing: no fall-back.
    texte = lireCache(chemin, &taille);
    free(chemin);
  } else {
    for (const char* defaut : CACHES_PAR_DEFAUT) {
      texte = lireCache(defaut, &taille);
      if (texte) break;
    }
  }
  if (!texte) return false;
  lire(texte, taille);
  free(texte);
  return true;
}

const char* CacheBlkid::peripheriqueDe(const char* source) const {
  TRACER_APPEL();
  if (!source) return nullptr;
  const StringArray* valeurs;
  uint8_t double_;
  const char* valeur;
  if (strncmp(source, "LABEL=", 6) == 0) {
    valeurs = &etiquettes_;
    double_ = BLKID_ETIQUETTE_DOUBLE;
    valeur = source + 6;
  } else if (strncmp(source, "UUID=", 5) == 0) {
    valeurs = &uuids_;
    double_ = BLKID_UUID_DOUBLE;
    valeur = source + 5;
  } else {
    return nullptr;
  }
  size_t i = valeurs->find(valeur, 0);
  if (i >= valeurs->count()) {
    char* decode = decoderOctal(valeur);
    i = valeurs->find(decode, 0);
    free(decode);
  }
  if (i >= valeurs->count() || (drapeaux_[i] & double_) != 0) return nullptr;
  const char* peripherique = peripheriques_[i];
  return peripherique && peripherique[0] != '\0' ? peripherique : nullptr;
}

char* cheminCacheBlkid() {
  TRACER_APPEL();
  const char* fichier = appelsSysteme.getenv("BLKID_FILE");
  if (fichier) return xstrdup(fichier);
  const char* configuration = appelsSysteme.getenv("BLKID_CONF");
  if (!configuration) configuration = "/etc/blkid.conf";
  size_t taille = 0;
  char* texte = lireCache(configuration, &taille);
  if (!texte) return nullptr;
  const char cle[] = "CACHE_FILE=";
  const size_t longueurCle = sizeof cle - 1;
  char* chemin = nullptr;
  const char* fin = texte + taille;
  for (const char* ligne = texte; ligne < fin;) {
    const char* finLigne = static_cast<const char*>(memchr(ligne, '\n', static_cast<size_t>(fin - ligne)));
    if (!finLigne) finLigne = fin;
    const char* p = ligne;
    while (p < finLigne && estBlanc(*p)) ++p;
    if (static_cast<size_t>(finLigne - p) >= longueurCle && memcmp(p, cle, longueurCle) == 0) {
      p += longueurCle;
      while (p < finLigne && estBlanc(*p)) ++p;
      const char* finValeur = finLigne;
      while (finValeur > p && estBlanc(finValeur[-1])) --finValeur;
      free(chemin);
      chemin = nullptr;  // the last line wins, an empty value names none
      size_t longueur = static_cast<size_t>(finValeur - p);
      if (longueur > 0 && !memchr(p, '\0', longueur)) {
        chemin = static_cast<char*>(xmalloc(longueur + 1));
        memcpy(chemin, p, longueur);
        chemin[longueur] = '\0';
      }
    }
    ligne = finLigne + 1;
  }
  free(texte);
  return chemin;
}

char* decoderOctal(const char* valeur) {
  TRACER_APPEL();
  char* texte = xstrdup(valeur ? valeur : "");
  char* ecrit = texte;
  for (const char* p = texte; *p;) {
    bool octal = p[0] == '\\' && p[1] >= '0' && p[1] <= '3' && p[2] >= '0' && p[2] <= '7' &&
                 p[3] >= '0' && p[3] <= '7';
    int code = octal ? (p[1] - '0') * 64 + (p[2] - '0') * 8 + (p[3] - '0') : 0;
    if (code != 0) {  // "\000" would end the text: kept as written
      *ecrit++ = static_cast<char>(code);
      p += 4;
    } else {
      *ecrit++ = *p++;
    }
  }
  *ecrit = '\0';
  return texte;
}
