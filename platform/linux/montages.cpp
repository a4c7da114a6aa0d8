#include "platform/linux/montages.h"

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "core/string_array.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"

namespace {

const char* const TABLES_MONTAGE[] = {"/etc/mtab", "/var/run/mtab", "/proc/mounts"};

bool estAbsolu(const char* chemin) { return chemin && chemin[0] == '/'; }

bool memeTexte(const char* a, const char* b) { return a && strcmp(a, b) == 0; }

// Types that never make a mounted device; nfs still counts for mount points.
bool typeIgnore(const char* type, bool avecNfs) {
  TRACER_APPEL();
  return memeTexte(type, "ignore") || memeTexte(type, "swap") || (avecNfs && memeTexte(type, "nfs"));
}

// Canonical form without trailing '/'.
char* cheminCanoniqueNu(const char* chemin) {
  TRACER_APPEL();
  char* c = cheminCanonique(chemin);
  retirerBarresFinales(c);
  return c;
}

}  // namespace

char* cheminResolu(const char* chemin) {
  TRACER_APPEL();
  // The C library's result moves under the checked allocator.
  char* resolu = appelsSysteme.canonicalize_file_name(chemin);
  if (!resolu) return nullptr;
  char* copie = xstrdup(resolu);
  free(resolu);
  return copie;
}

void retirerBarresFinales(char* chemin) {
  TRACER_APPEL();
  if (!chemin) return;
  size_t n = strlen(chemin);
  while (n > 1 && chemin[n - 1] == '/') chemin[--n] = '\0';
}

char* cheminCanonique(const char* chemin) {
  TRACER_APPEL();
  if (!chemin) return nullptr;
  char* resolu = cheminResolu(chemin);
  if (resolu) return resolu;

  char* copie = xstrdup(chemin);
  size_t n = strlen(copie);
  bool barreFinale = false;
  while (n > 1 && copie[n - 1] == '/') {
    copie[--n] = '\0';
    barreFinale = true;
  }
  char* barre = strrchr(copie, '/');
  if (!barre || barre[1] == '\0') return copie;  // no last name: unchanged
  const char* nom = barre + 1;
  while (barre > copie && barre[-1] == '/') --barre;
  *barre = '\0';
  char* parent = barre > copie ? cheminResolu(copie) : nullptr;
  if (!parent) {
    free(copie);
    return xstrdup(chemin);
  }
  size_t longueurParent = strlen(parent);
  if (longueurParent == 0 || parent[longueurParent - 1] != '/') ajouterTexte(&parent, "/");
  ajouterTexte(&parent, nom);
  if (barreFinale) ajouterTexte(&parent, "/");
  free(copie);
  return parent;
}

FILE* ouvrirTableMontage() {
  TRACER_APPEL();
  for (const char* fichier : TABLES_MONTAGE) {
    FILE* table = appelsSysteme.setmntent(fichier, "r");
    if (table) return table;
  }
  return nullptr;
}

void listerPeripheriquesMontes(StringArray& liste) {
  TRACER_APPEL();
  liste.clear();
  FILE* table = ouvrirTableMontage();
  if (!table) return;
  while (struct mntent* e = appelsSysteme.getmntent(table)) {
    if (typeIgnore(e->mnt_type, true)) continue;
    if (!estAbsolu(e->mnt_fsname) || !estAbsolu(e->mnt_dir)) continue;
    char* peripherique = cheminCanoniqueNu(e->mnt_fsname);
    liste.add(peripherique);
    free(peripherique);
  }
  appelsSysteme.endmntent(table);
}

void listerPointsMontage(StringArray& liste) {
  TRACER_APPEL();
  liste.clear();
  FILE* table = ouvrirTableMontage();
  if (!table) return;
  while (struct mntent* e = appelsSysteme.getmntent(table)) {
    if (!e->mnt_fsname || !e->mnt_type || !e->mnt_dir) continue;
    // Local paths, remote sources and LABEL= or UUID= forms; not "proc".
    if (!strpbrk(e->mnt_fsname, "/:=")) continue;
    if (typeIgnore(e->mnt_type, false) || !estAbsolu(e->mnt_dir)) continue;
    char* point = cheminCanoniqueNu(e->mnt_dir);
    if (liste.find(point, 0) >= liste.count()) liste.add(point);
    free(point);
  }
  appelsSysteme.endmntent(table);
  if (liste.find("/", 0) >= liste.count()) liste.insert("/", 0);
}

bool correspondanceChemin(const char* chemin, const char* candidat, char** meilleur) {
  TRACER_APPEL();
  if (!chemin || !candidat || candidat[0] == '\0') return false;
  size_t longueur = strlen(candidat);
  if (strncmp(chemin, candidat, longueur) != 0) return false;
  // The prefix must end on a component boundary: /home does not hold /homework.
  bool frontiere = chemin[longueur] == '\0' || chemin[longueur] == '/' || candidat[longueur - 1] == '/';
  if (!frontiere) return false;
  if (*meilleur && strlen(*meilleur) >= longueur) return false;
  free(*meilleur);
  *meilleur = xstrdup(candidat);
  return true;
}

char* pointMontage(const char* chemin) {
  TRACER_APPEL();
  if (!chemin) return nullptr;
  FILE* table = ouvrirTableMontage();
  if (!table) return nullptr;
  char* cible = cheminCanonique(chemin);
  char* meilleur = nullptr;
  char* resultat = nullptr;
  while (struct mntent* e = appelsSysteme.getmntent(table)) {
    if (typeIgnore(e->mnt_type, false) || !estAbsolu(e->mnt_dir)) continue;
    char* point = cheminCanoniqueNu(e->mnt_dir);
    if (correspondanceChemin(cible, point, &meilleur)) {
      free(resultat);
      const char* source = e->mnt_fsname ? e->mnt_fsname : "";
      bool nfs = memeTexte(e->mnt_type, "nfs");
      resultat = !nfs && estAbsolu(source) ? cheminCanonique(source) : xstrdup(source);
    }
    free(point);
  }
  appelsSysteme.endmntent(table);
  free(cible);
  free(meilleur);
  // A remote or virtual source names no local device.
  if (resultat && !estAbsolu(resultat)) {
    free(resultat);
    resultat = nullptr;
  }
  return resultat;
}
