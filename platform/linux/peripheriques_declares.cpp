#include "platform/linux/peripheriques_declares.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "core/string_array.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/cache_blkid.h"
#include "platform/linux/montages.h"
#include "platform/linux/peripheriques.h"
#include "platform/linux/services.h"

namespace {

const char* const CARTES_MAITRES[] = {"/etc/auto.master", "/etc/autofs/auto.master"};

StringArray peripheriquesDeclares;
bool listeConstruite = false;
uint32_t nombreDeclares = 0;

bool memeTexte(const char* a, const char* b) { return a && strcmp(a, b) == 0; }

// Next word of a line cut at blanks and tabs, ended in place; null at the end.
char* motSuivant(char** curseur) {
  TRACER_APPEL();
  char* p = *curseur;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0') {
    *curseur = p;
    return nullptr;
  }
  char* mot = p;
  while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  if (*p != '\0') *p++ = '\0';
  *curseur = p;
  return mot;
}

void ajouterSiAbsent(StringArray& liste, const char* texte) {
  TRACER_APPEL();
  if (liste.find(texte, 0) >= liste.count()) liste.add(texte);
}

// A map line of the master map: mount point, then the map to read.
void lireLigneMaitre(char* ligne, StringArray& cartes) {
  TRACER_APPEL();
  char* curseur = ligne;
  const char* point = motSuivant(&curseur);
  if (!point || point[0] == '#' || point[0] == '+') return;
  const char* carte = motSuivant(&curseur);
  if (!carte) return;
  if (commencePar(carte, "file:/")) {
    ajouterSiAbsent(cartes, carte + strlen("file:"));
  } else if (commencePar(carte, "file,sun:/")) {
    ajouterSiAbsent(cartes, carte + strlen("file,sun:"));
  } else if (carte[0] == '/') {
    // An executable map is a program; stat, so a link to a plain map counts.
    struct stat64 etat;
    if (appelsSysteme.stat64(carte, &etat) == 0 && (etat.st_mode & S_IXUSR) == 0) {
      ajouterSiAbsent(cartes, carte);
    }
  }
}

// A line of a map: key, options, locations (and offsets of a multi-mount).
// A location ":/path" without '&' or '$' names a local device.
void lireLigneCarte(char* ligne, StringArray& liste) {
  TRACER_APPEL();
  char* curseur = ligne;
  const char* cle = motSuivant(&curseur);
  if (!cle || cle[0] == '#') return;
  while (const char* mot = motSuivant(&curseur)) {
    if (mot[0] != ':' || mot[1] != '/' || mot[2] == '/') continue;  // options, offsets, remote
    if (strpbrk(mot, "&$")) continue;
    char* peripherique = cheminResolu(mot + 1);
    if (!peripherique) continue;
    retirerBarresFinales(peripherique);
    ajouterSiAbsent(liste, peripherique);
    free(peripherique);
  }
}

// Joins a backslash-ended line to the next one.
void joindreSuites(char* texte) {
  TRACER_APPEL();
  for (char* p = texte; *p; ++p) {
    if (p[0] != '\\') continue;
    if (p[1] == '\n') {
      p[0] = p[1] = ' ';
    } else if (p[1] == '\r' && p[2] == '\n') {
      p[0] = p[1] = p[2] = ' ';
    } else if (p[1] == '\0') {
      p[0] = ' ';
    }
  }
}

void lireCarte(const char* chemin, bool maitre, StringArray& cartes, StringArray& liste) {
  TRACER_APPEL();
  uint64_t taille = 0;
  char* texte = lireFichierTexte(chemin, &taille);
  if (!texte) return;
  // A NUL inside the file only separates words.
  for (uint64_t i = 0; i < taille; ++i) {
    if (texte[i] == '\0') texte[i] = ' ';
  }
  if (!maitre) joindreSuites(texte);
  char* ligne = texte;
  while (*ligne) {
    char* fin = ligne + strcspn(ligne, "\r\n");
    bool dernier = *fin == '\0';
    *fin = '\0';
    if (maitre) {
      lireLigneMaitre(ligne, cartes);
    } else {
      lireLigneCarte(ligne, liste);
    }
    if (dernier) break;
    ligne = fin + 1;
  }
  free(texte);
}

bool fuseDisponible() {
  TRACER_APPEL();
  struct stat64 etat;
  return appelsSysteme.stat64("/dev/fuse", &etat) == 0 && S_ISCHR(etat.st_mode);
}

}  // namespace

void declarerDepuisFstab(const CacheBlkid& cache, StringArray& liste) {
  TRACER_APPEL();
  appelsSysteme.setfsent();
  while (struct fstab* entree = appelsSysteme.getfsent()) {
    const char* source = entree->fs_spec;
    if (!source) continue;
    const char* peripherique = nullptr;
    if (source[0] == '/') {
      peripherique = source;
    } else if (commencePar(source, "LABEL=") || commencePar(source, "UUID=")) {
      peripherique = cache.peripheriqueDe(source);
    }
    if (!peripherique) continue;
    if (!entree->fs_file || entree->fs_file[0] != '/') continue;
    if (memeTexte(entree->fs_type, "sw") || memeTexte(entree->fs_type, "xx")) continue;
    char* canonique = cheminResolu(peripherique);
    if (!canonique) continue;
    retirerBarresFinales(canonique);
    liste.add(canonique);
    free(canonique);
  }
  appelsSysteme.endfsent();
}

void declarerDepuisAutomontage(StringArray& liste) {
  TRACER_APPEL();
  const char* maitre = nullptr;
  for (const char* candidat : CARTES_MAITRES) {
    if (appelsSysteme.access(candidat, R_OK) == 0) {
      maitre = candidat;
      break;
    }
  }
  if (!maitre) return;
  StringArray cartes;
  cartes.add(maitre);
  // Only the master map adds maps, so the list ends.
  for (size_t i = 0; i < cartes.count(); ++i) {
    char* chemin = xstrdup(cartes[i]);
    lireCarte(chemin, i == 0, cartes, liste);
    free(chemin);
  }
}

uint32_t listerPeripheriquesDeclares() {
  TRACER_APPEL();
  if (listeConstruite) return nombreDeclares;
  CacheBlkid cache;
  cache.charger();
  peripheriquesDeclares.clear();
  declarerDepuisFstab(cache, peripheriquesDeclares);
  declarerDepuisAutomontage(peripheriquesDeclares);
  // Any partition may be mounted by a FUSE file system.
  if (fuseDisponible()) listerPeripheriques(PERIPHERIQUES_PARTITIONS, peripheriquesDeclares);
  size_t n = peripheriquesDeclares.count();
  nombreDeclares = n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
  listeConstruite = true;
  return nombreDeclares;
}

const char* peripheriqueDeclare(uint32_t indice) {
  TRACER_APPEL();
  if (indice >= listerPeripheriquesDeclares() || indice >= peripheriquesDeclares.count()) return nullptr;
  return peripheriquesDeclares[indice];
}

void viderPeripheriquesDeclares() {
  TRACER_APPEL();
  peripheriquesDeclares.clear();
  listeConstruite = false;
  nombreDeclares = 0;
}
