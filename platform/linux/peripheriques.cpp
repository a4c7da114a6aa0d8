#include "platform/linux/peripheriques.h"

#include <linux/hdreg.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/tableau.h"
#include "core/texte.h"
#include "platform/linux/appels_systeme.h"

namespace {

const char* const REPERTOIRES[] = {"/dev",         "/dev/rd",  "/dev/cciss",  "/dev/ataraid",
                                   "/dev/iseries", "/dev/sx8", "/dev/mapper", "/dev/md"};
const size_t NOMBRE_REPERTOIRES = sizeof REPERTOIRES / sizeof REPERTOIRES[0];
const int REPERTOIRE_DEV = 0;
const int REPERTOIRE_MAPPER = 6;
const int REPERTOIRE_MD = 7;

// Partition separators by path prefix, first match wins; "*" is "p" after a
// final digit, else nothing.
struct T_Nommage {
  const char* prefixe;
  const char* separateur;
};
const T_Nommage NOMMAGES[] = {
    {"/dev/ataraid", "p"}, {"/dev/iseries", ""}, {"/dev/cciss", "p"}, {"/dev/mapper", ""},
    {"/dev/md/md_d", "p"}, {"/dev/md/d", "p"},   {"/dev/md_d", "p"},  {"/dev/nvme", "p"},
    {"/dev/sx8", "p"},     {"/dev/md", "p"},     {"/dev/rd", "p"},    {"/dev", "*"},
    {"", "*"},
};

const size_t RESERVE_LISTE = 2050;

StringArray listeDisques;
StringArray listeDisquettes;
bool disquesComptes = false;
bool disquettesComptees = false;
uint8_t nombreDisquesCompte = 0;
uint8_t nombreDisquettesCompte = 0;

bool estChiffre(char c) { return c >= '0' && c <= '9'; }

const T_Nommage& nommage(const char* chemin) {
  TRACER_APPEL();
  for (const T_Nommage& n : NOMMAGES)
    if (commencePar(chemin, n.prefixe)) return n;
  return NOMMAGES[sizeof NOMMAGES / sizeof NOMMAGES[0] - 1];
}

// ---------------------------------------------------------------- classification

enum T_Ligne { LIGNE_REGLE, LIGNE_IGNOREE, LIGNE_NOMMEE };

// One row of the classification table applied to a device.
struct T_Regle {
  T_Ligne ligne;
  bool entier;    // a whole disk
  uint32_t cle;   // its slot in kind 1
  bool partie;    // a partition in kind 2
  bool candidat;  // a whole disk offered in kind 2 when it has no partition
};

T_Regle regle(T_Ligne ligne, bool entier, uint32_t cle, bool partie, bool candidat) {
  T_Regle r = {ligne, entier, cle, partie, candidat};
  return r;
}

T_Regle regleMd(uint32_t mineur) {
  return regle(LIGNE_REGLE, (mineur & ~0x3fc0u) == 0, 1030 + mineur / 64, (mineur & 0x3f) != 0,
               false);
}

bool parmi(uint32_t v, const uint32_t* valeurs, size_t n, size_t* indice) {
  TRACER_APPEL();
  for (size_t i = 0; i < n; ++i) {
    if (valeurs[i] == v) {
      if (indice) *indice = i;
      return true;
    }
  }
  return false;
}

T_Regle regleDe(uint32_t ma, uint32_t mi, int repertoire, const char* chemin) {
  TRACER_APPEL();
  static const uint32_t ide[] = {3, 22, 33, 34, 56, 57, 88, 89, 90, 91};
  static const uint32_t ignores[] = {1,  2,  7,  11, 15, 16, 17, 18, 20,
                                     23, 24, 25, 26, 27, 29, 32, 43};
  size_t i;
  if (parmi(ma, ide, sizeof ide / sizeof ide[0], &i))
    return regle(LIGNE_REGLE, (mi & ~0x40u) == 0, static_cast<uint32_t>(2 * i) + (mi == 64),
                 (mi & 0x3f) != 0, true);
  if (ma == 8 || (ma >= 65 && ma <= 71) || (ma >= 128 && ma <= 135)) {
    uint32_t base = ma == 8 ? 20 : ma <= 71 ? 16 * ma - 1004 : 16 * ma - 1900;
    return regle(LIGNE_REGLE, (mi & ~0xf0u) == 0, mi / 16 + base, (mi & 0xf) != 0, true);
  }
  if (ma == 13) return regle(LIGNE_REGLE, mi == 0 || mi == 64, mi == 0 ? 276 : 277, (mi & 0x3f) != 0, false);
  if (ma == 9) return regle(LIGNE_REGLE, false, 0, mi < 256, false);
  if (repertoire == REPERTOIRE_DEV && commencePar(chemin, "/dev/md")) return regleMd(mi);
  if (ma >= 48 && ma <= 55)
    return regle(LIGNE_REGLE, (mi & ~0xf8u) == 0, 8 * ma - 106 + mi / 8, (mi & 7) != 0, false);
  if (ma >= 136 && ma <= 143)
    return regle(LIGNE_REGLE, (mi & ~0xf8u) == 0, 8 * ma - 746 + mi / 8, (mi & 7) != 0, false);
  if (ma >= 104 && ma <= 111)
    return regle(LIGNE_REGLE, (mi & ~0xf0u) == 0, 16 * ma - 874 + mi / 16, (mi & 0xf) != 0, false);
  if (ma == 114) return regle(LIGNE_REGLE, (mi & ~0xf0u) == 0, 918 + mi / 16, (mi & 0xf) != 0, false);
  if (ma == 112) return regle(LIGNE_REGLE, (mi & ~0xf8u) == 0, 934 + mi / 8, (mi & 7) != 0, false);
  if (ma == 160 || ma == 161)
    return regle(LIGNE_REGLE, (mi & ~0xe0u) == 0, 32 * ma - 4154 + mi / 32, (mi & 0x1f) != 0, false);
  if (repertoire == REPERTOIRE_MAPPER) return regle(LIGNE_REGLE, false, 0, ma != 1 && ma != 7, false);
  if (repertoire == REPERTOIRE_MD) return regleMd(mi);
  if (parmi(ma, ignores, sizeof ignores / sizeof ignores[0], nullptr))
    return regle(LIGNE_IGNOREE, false, 0, false, false);
  return regle(LIGNE_NOMMEE, false, 0, false, false);
}

// ---------------------------------------------------------------- scan

// Device numbers split as the kernel does.
uint32_t majeurDe(uint64_t d) {
  return static_cast<uint32_t>(((d >> 8) & 0xFFF) | ((d >> 32) & ~0xFFFULL));
}
uint32_t mineurDe(uint64_t d) {
  return static_cast<uint32_t>((d & 0xFF) | ((d >> 12) & ~0xFFULL));
}

// Adds v to the sorted set; false when it was there already.
bool ajouterVu(BasicArray<uint64_t, const uint64_t>& vus, uint64_t v) {
  TRACER_APPEL();
  size_t i = vus.findSorted(v);
  if (i < vus.count() && vus[i] == v) return false;
  vus.insert(v, i);
  return true;
}

// Folders already scanned, by device and inode, so that a bind mount or a
// second name of a folder is read once.
class RepertoiresVus {
 public:
  bool ajouter(uint64_t peripherique, uint64_t inode) {
    TRACER_APPEL();
    for (size_t i = 0; i < peripheriques_.count(); ++i)
      if (peripheriques_[i] == peripherique && inodes_[i] == inode) return false;
    peripheriques_.add(peripherique);
    inodes_.add(inode);
    return true;
  }

 private:
  BasicArray<uint64_t, const uint64_t> peripheriques_;
  BasicArray<uint64_t, const uint64_t> inodes_;
};

bool estRepertoireDeTable(const char* chemin) {
  TRACER_APPEL();
  for (const char* r : REPERTOIRES)
    if (strcmp(chemin, r) == 0) return true;
  return false;
}

// "%s/%s" in a buffer that grows to the longest path met.
class Chemin {
 public:
  ~Chemin() {
    TRACER_APPEL();
    if (!estSortieUrgence()) free(texte_);
  }
  const char* joindre(const char* repertoire, const char* nom) {
    TRACER_APPEL();
    size_t n = strlen(repertoire) + strlen(nom) + 2;
    if (n > taille_) {
      texte_ = static_cast<char*>(xrealloc(texte_, n));
      taille_ = n;
    }
    formaterMessage(texte_, taille_, "%s/%s", repertoire, nom);
    return texte_;
  }

 private:
  char* texte_ = nullptr;
  size_t taille_ = 0;
};

struct T_Parcours {
  int genre;
  StringArray* liste;
  StringArray nommes;
  StringArray candidats;
};

void placer(T_Parcours& p, const char* chemin, int repertoire, uint64_t numero) {
  TRACER_APPEL();
  T_Classement c = classerPeripherique(p.genre, majeurDe(numero), mineurDe(numero), repertoire, chemin);
  StringArray& l = *p.liste;
  switch (c.classe) {
    case CLASSE_DISQUE:
      // A key already taken keeps its disk; the newcomer is listed by name.
      if (c.cle < l.count() && l[c.cle] != nullptr) {
        p.nommes.insert(chemin, p.nommes.insertPosition(chemin));
      } else {
        l.set(chemin, c.cle);
      }
      break;
    case CLASSE_PARTITION:
      l.add(chemin);
      break;
    case CLASSE_CANDIDAT:
      p.candidats.add(chemin);
      break;
    case CLASSE_NOMME:
      p.nommes.insert(chemin, p.nommes.insertPosition(chemin));
      break;
    case CLASSE_AUCUNE:
      break;
  }
}

void parcourirRepertoires(T_Parcours& p, BasicArray<uint64_t, const uint64_t>& vus) {
  TRACER_APPEL();
  StringArray sousRepertoires;
  RepertoiresVus repertoiresVus;
  Chemin chemin;
  for (size_t i = 0; i < NOMBRE_REPERTOIRES + sousRepertoires.count(); ++i) {
    int indice = i < NOMBRE_REPERTOIRES ? static_cast<int>(i) : -1;
    // The text stays in place while subfolders are inserted around it.
    const char* repertoire = indice >= 0 ? REPERTOIRES[i] : sousRepertoires[i - NOMBRE_REPERTOIRES];
    struct stat64 etat;
    DIR* d = nullptr;
    if (appelsSysteme.stat64(repertoire, &etat) == 0 && S_ISDIR(etat.st_mode) &&
        repertoiresVus.ajouter(etat.st_dev, etat.st_ino))
      d = appelsSysteme.opendir(repertoire);
    if (d != nullptr) {
      while (struct dirent64* e = appelsSysteme.readdir64(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        const char* c = chemin.joindre(repertoire, e->d_name);
        struct stat64 s;
        if (appelsSysteme.lstat64(c, &s) != 0) continue;
        if (S_ISDIR(s.st_mode)) {
          if (!estRepertoireDeTable(c))
            sousRepertoires.insert(c, sousRepertoires.insertPosition(c));
        } else if (S_ISBLK(s.st_mode) && ajouterVu(vus, s.st_rdev)) {
          placer(p, c, indice, s.st_rdev);
        }
      }
      appelsSysteme.closedir(d);
    }
  }
}

// Named devices in name order: a device followed by its partition names
// (prefix then digits) is a disk, those names are its partitions.
void apparierNommes(T_Parcours& p) {
  TRACER_APPEL();
  const unsigned char DISQUE = 1, PARTITION = 2;
  StringArray& n = p.nommes;
  BasicArray<unsigned char, const unsigned char> marques;
  marques.fill(0, n.count(), 0);
  for (size_t i = 0; i < n.count(); ++i) {
    if (marques[i] == 0) {
      char* prefixe = prefixePartitions(n[i]);
      size_t longueur = strlen(n[i]);
      for (size_t j = i + 1; j < n.count() && strncmp(n[j], n[i], longueur) == 0; ++j) {
        if (suiviDeChiffres(n[j], prefixe)) {
          marques[j] = PARTITION;
          marques[i] = DISQUE;
        }
      }
      free(prefixe);
    }
    if (p.genre == PERIPHERIQUES_DISQUES && marques[i] != PARTITION) p.liste->add(n[i]);
    if (p.genre == PERIPHERIQUES_PARTITIONS && marques[i] != DISQUE) p.liste->add(n[i]);
  }
}

// Kind 2: a whole disk none of whose partition names was listed stands for
// its only partition.
void ajouterDisquesSansPartition(T_Parcours& p) {
  TRACER_APPEL();
  StringArray& l = *p.liste;
  for (size_t k = 0; k < p.candidats.count(); ++k) {
    char* prefixe = prefixePartitions(p.candidats[k]);
    bool partitionne = false;
    for (size_t i = 0; i < l.count() && !partitionne; ++i)
      partitionne = l[i] != nullptr && suiviDeChiffres(l[i], prefixe);
    free(prefixe);
    if (!partitionne) l.add(p.candidats[k]);
  }
}

// Keeps the block devices that open and answer HDIO_GETGEO (with a start of
// 0 for a whole disk).
bool repondGeometrie(const char* chemin, bool disque) {
  TRACER_APPEL();
  struct stat64 etat;
  if (chemin == nullptr || appelsSysteme.lstat64(chemin, &etat) != 0 || !S_ISBLK(etat.st_mode))
    return false;
  int fd = appelsSysteme.open64(chemin, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  struct hd_geometry g;
  memset(&g, 0, sizeof g);
  bool bon = appelsSysteme.fstat64(fd, &etat) == 0 && S_ISBLK(etat.st_mode) &&
             appelsSysteme.ioctl(fd, HDIO_GETGEO, &g) == 0 && (!disque || g.start == 0);
  appelsSysteme.close(fd);
  return bon;
}

uint8_t compter(int genre, StringArray& liste, bool* compte, uint8_t* nombre) {
  TRACER_APPEL();
  if (*compte) return *nombre;
  liste.clear();
  listerPeripheriques(genre, liste);
  *nombre = static_cast<uint8_t>(liste.count() > 255 ? 255 : liste.count());
  *compte = true;
  return *nombre;
}

}  // namespace

bool suiviDeChiffres(const char* texte, const char* prefixe) {
  TRACER_APPEL();
  size_t n = strlen(prefixe);
  if (strncmp(texte, prefixe, n) != 0) return false;
  for (const char* c = texte + n; *c; ++c)
    if (!estChiffre(*c)) return false;
  return true;
}

T_Classement classerPeripherique(int genre, uint32_t majeur, uint32_t mineur, int repertoire,
                                 const char* chemin) {
  TRACER_APPEL();
  T_Classement c = {CLASSE_AUCUNE, 0};
  if (genre == PERIPHERIQUES_DISQUETTES) {
    if (majeur == 2 && (mineur & ~0x83u) == 0) {
      c.classe = CLASSE_DISQUE;
      c.cle = (mineur & 3) + ((mineur & 0x80) ? 4 : 0);
    }
    return c;
  }
  if (genre != PERIPHERIQUES_DISQUES && genre != PERIPHERIQUES_PARTITIONS) return c;
  T_Regle r = regleDe(majeur, mineur, repertoire, chemin ? chemin : "");
  if (r.ligne == LIGNE_NOMMEE) {
    c.classe = CLASSE_NOMME;
  } else if (r.ligne == LIGNE_IGNOREE) {
  } else if (genre == PERIPHERIQUES_DISQUES) {
    if (r.entier) {
      c.classe = CLASSE_DISQUE;
      c.cle = r.cle;
    }
  } else if (r.partie) {
    c.classe = CLASSE_PARTITION;
  } else if (r.entier && r.candidat) {
    c.classe = CLASSE_CANDIDAT;
  }
  return c;
}

void listerPeripheriques(int genre, StringArray& liste) {
  TRACER_APPEL();
  if (genre < PERIPHERIQUES_DISQUETTES || genre > PERIPHERIQUES_PARTITIONS) return;
  BasicArray<uint64_t, const uint64_t> vus;
  for (size_t i = 0; i < liste.count(); ++i) {
    struct stat64 etat;
    if (liste[i] != nullptr && appelsSysteme.lstat64(liste[i], &etat) == 0 && S_ISBLK(etat.st_mode))
      ajouterVu(vus, etat.st_rdev);
  }
  liste.reserve(RESERVE_LISTE);

  T_Parcours p;
  p.genre = genre;
  p.liste = &liste;
  parcourirRepertoires(p, vus);
  for (size_t i = liste.count(); i-- > 0;)
    if (liste[i] == nullptr) liste.remove(i);
  if (genre == PERIPHERIQUES_DISQUETTES) return;
  apparierNommes(p);
  if (genre == PERIPHERIQUES_PARTITIONS) ajouterDisquesSansPartition(p);
  for (size_t i = liste.count(); i-- > 0;)
    if (!repondGeometrie(liste[i], genre == PERIPHERIQUES_DISQUES)) liste.remove(i);
}

uint8_t nombreDisques() {
  TRACER_APPEL();
  return compter(PERIPHERIQUES_DISQUES, listeDisques, &disquesComptes, &nombreDisquesCompte);
}

const char* nomDisque(uint8_t numero) {
  TRACER_APPEL();
  if (numero >= nombreDisques() || numero >= listeDisques.count()) return nullptr;
  return listeDisques[numero];
}

uint8_t compterDisquettes() {
  TRACER_APPEL();
  return compter(PERIPHERIQUES_DISQUETTES, listeDisquettes, &disquettesComptees,
                 &nombreDisquettesCompte);
}

const char* nomDisquette(uint8_t numero) {
  TRACER_APPEL();
  if (numero >= compterDisquettes() || numero >= listeDisquettes.count()) return nullptr;
  return listeDisquettes[numero];
}

char* prefixePartitions(const char* disque) {
  TRACER_APPEL();
  if (disque == nullptr) return nullptr;
  const char* separateur = nommage(disque).separateur;
  if (strcmp(separateur, "*") == 0) {
    size_t n = strlen(disque);
    separateur = n > 0 && estChiffre(disque[n - 1]) ? "p" : "";
  }
  size_t taille = strlen(disque) + strlen(separateur) + 1;
  char* texte = static_cast<char*>(xmalloc(taille));
  formaterMessage(texte, taille, "%s%s", disque, separateur);
  return texte;
}

char* separerNumeroPartition(const char* chemin, bool* estPartition) {
  TRACER_APPEL();
  bool partition = false;
  if (chemin == nullptr) {
    if (estPartition) *estPartition = false;
    return nullptr;
  }
  char* copie = xstrdup(chemin);
  size_t fin = strlen(copie);
  if (fin > 0 && estChiffre(copie[fin - 1])) {
    size_t b = fin;
    while (b > 0 && estChiffre(copie[b - 1])) --b;
    partition = true;
    const char* separateur = nommage(chemin).separateur;
    bool place = true;  // b stands before the separator
    if (strcmp(separateur, "*") == 0) {
      separateur = "";
      if (b >= 2 && copie[b - 1] == 'p' && estChiffre(copie[b - 2])) {
        separateur = "p";
        --b;
      }
    } else if (strlen(separateur) > b) {
      place = false;
    } else {
      b -= strlen(separateur);
    }
    size_t n = strlen(separateur);
    if (place && strncmp(copie + b, separateur, n) == 0) {
      copie[b] = '\0';
      struct stat64 etat;
      place = appelsSysteme.lstat64(copie, &etat) == 0 && S_ISBLK(etat.st_mode);
    } else {
      place = false;
    }
    if (!place) {
      partition = false;
      strcpy(copie, chemin);
    }
  }
  if (estPartition) *estPartition = partition;
  return copie;
}

void nettoyerListesPeripheriques() {
  TRACER_APPEL();
  listeDisquettes.clear();
  listeDisques.clear();
}

void oublierComptesPeripheriques() {
  TRACER_APPEL();
  nettoyerListesPeripheriques();
  disquesComptes = false;
  disquettesComptees = false;
}

void enregistrerNettoyagePlateforme() {
  TRACER_APPEL();
  ajouterFonctionSortie(nettoyerListesPeripheriques);
  nettoyerListesPeripheriques();
}
