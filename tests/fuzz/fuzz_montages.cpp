// Mount table, fstab and automounter maps over hostile texts. The input is
// up to four sections split by "\n--\n": mount table, fstab, master map,
// and the text of every other map. The seam serves them from memory; path
// resolution is simulated, so the real filesystem is never asked.
#include <fstab.h>
#include <mntent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/memoire.h"
#include "core/string_array.h"
#include "platform/linux/appels_systeme.h"
#include "platform/linux/cache_blkid.h"
#include "platform/linux/montages.h"
#include "platform/linux/peripheriques_declares.h"
#include "tests/fuzz/entree_fuzz.h"

namespace {

const char MAITRE[] = "/etc/auto.master";
const int FD_FICHIER = 1000;

struct T_Section {
  const char* debut = nullptr;
  size_t taille = 0;
  bool presente = false;
};
enum { S_TABLE, S_FSTAB, S_MAITRE, S_CARTE, NOMBRE_SECTIONS };
T_Section sections[NOMBRE_SECTIONS];

FILE* fluxFstab = nullptr;
struct fstab entreeFstab;

// The open map file: one at a time.
const T_Section* ouvert = nullptr;
size_t positionOuvert = 0;

CacheBlkid* cache = nullptr;

FILE* ouvrirSection(const T_Section& s) {
  static char vide[] = "\n";
  // fmemopen refuses an empty buffer.
  if (s.taille == 0) return fmemopen(vide, 1, "r");
  return fmemopen(const_cast<char*>(s.debut), s.taille, "r");
}

FILE* setmntentSimule(const char*, const char*) {
  if (!sections[S_TABLE].presente) {
    errno = ENOENT;
    return nullptr;
  }
  return ouvrirSection(sections[S_TABLE]);
}

int setfsentSimule() {
  if (fluxFstab) fclose(fluxFstab);
  fluxFstab = sections[S_FSTAB].presente ? ouvrirSection(sections[S_FSTAB]) : nullptr;
  return fluxFstab != nullptr;
}

struct fstab* getfsentSimule() {
  if (!fluxFstab) return nullptr;
  struct mntent* e = getmntent(fluxFstab);
  if (!e) return nullptr;
  entreeFstab.fs_spec = e->mnt_fsname;
  entreeFstab.fs_file = e->mnt_dir;
  entreeFstab.fs_vfstype = e->mnt_type;
  entreeFstab.fs_mntops = e->mnt_opts;
  const char* type = strcmp(e->mnt_type, "swap") == 0     ? FSTAB_SW
                     : strcmp(e->mnt_type, "ignore") == 0 ? FSTAB_XX
                     : hasmntopt(e, "ro")                 ? FSTAB_RO
                                                          : FSTAB_RW;
  entreeFstab.fs_type = type;
  entreeFstab.fs_freq = e->mnt_freq;
  entreeFstab.fs_passno = e->mnt_passno;
  return &entreeFstab;
}

void endfsentSimule() {
  if (fluxFstab) fclose(fluxFstab);
  fluxFstab = nullptr;
}

// Absolute paths resolve to themselves without repeated or final '/';
// a path naming "missing" does not resolve.
char* canonicalizeSimule(const char* chemin) {
  if (!chemin || chemin[0] != '/' || strstr(chemin, "missing")) {
    errno = ENOENT;
    return nullptr;
  }
  char* r = xstrdup(chemin);
  char* d = r;
  for (const char* p = chemin; *p; ++p)
    if (!(*p == '/' && d > r && d[-1] == '/')) *d++ = *p;
  if (d - r > 1 && d[-1] == '/') --d;
  *d = '\0';
  return r;
}

// The master map, and any other absolute path as a map ("exec" in its name
// makes it executable).
const T_Section* fichierDe(const char* chemin) {
  if (!chemin || chemin[0] != '/') return nullptr;
  if (strcmp(chemin, MAITRE) == 0) return sections[S_MAITRE].presente ? &sections[S_MAITRE] : nullptr;
  return sections[S_CARTE].presente ? &sections[S_CARTE] : nullptr;
}

void remplirEtat(const char* chemin, const T_Section& s, struct stat64* etat) {
  memset(etat, 0, sizeof *etat);
  etat->st_mode = S_IFREG | (chemin && strstr(chemin, "exec") ? 0755 : 0644);
  etat->st_size = static_cast<off64_t>(s.taille);
}

int stat64Simule(const char* chemin, struct stat64* etat) {
  const T_Section* s = fichierDe(chemin);
  if (!s) {
    errno = ENOENT;
    return -1;
  }
  remplirEtat(chemin, *s, etat);
  return 0;
}

int accessSimule(const char* chemin, int) {
  if (fichierDe(chemin)) return 0;
  errno = ENOENT;
  return -1;
}

int open64Simule(const char* chemin, int) {
  const T_Section* s = fichierDe(chemin);
  if (!s || ouvert) {
    errno = s ? EMFILE : ENOENT;
    return -1;
  }
  ouvert = s;
  positionOuvert = 0;
  return FD_FICHIER;
}

int fstat64Simule(int fd, struct stat64* etat) {
  if (fd != FD_FICHIER || !ouvert) {
    errno = EBADF;
    return -1;
  }
  remplirEtat(nullptr, *ouvert, etat);
  return 0;
}

ssize_t readSimule(int fd, void* tampon, size_t nombre) {
  if (fd != FD_FICHIER || !ouvert) {
    errno = EBADF;
    return -1;
  }
  size_t reste = ouvert->taille - positionOuvert;
  size_t n = nombre < reste ? nombre : reste;
  memcpy(tampon, ouvert->debut + positionOuvert, n);
  positionOuvert += n;
  return static_cast<ssize_t>(n);
}

int closeSimule(int fd) {
  if (fd != FD_FICHIER || !ouvert) {
    errno = EBADF;
    return -1;
  }
  ouvert = nullptr;
  return 0;
}

void decouper(const uint8_t* donnees, size_t taille) {
  const char* p = reinterpret_cast<const char*>(donnees);
  const char* fin = p + taille;
  for (auto& s : sections) s = T_Section();
  for (auto& s : sections) {
    s.debut = p;
    s.presente = true;
    const char* sep = static_cast<const char*>(memmem(p, static_cast<size_t>(fin - p), "\n--\n", 4));
    if (!sep) {
      s.taille = static_cast<size_t>(fin - p);
      break;
    }
    s.taille = static_cast<size_t>(sep - p) + 1;
    p = sep + 4;
  }
}

// Absolute, and no final '/' unless it is "/".
bool cheminNu(const char* c) {
  size_t n = c ? strlen(c) : 0;
  return n > 0 && c[0] == '/' && (n == 1 || c[n - 1] != '/');
}

bool distincts(const StringArray& liste) {
  for (size_t i = 0; i < liste.count(); ++i)
    if (liste.find(liste[i], i + 1) < liste.count()) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  appelsSysteme.setmntent = setmntentSimule;
  appelsSysteme.setfsent = setfsentSimule;
  appelsSysteme.getfsent = getfsentSimule;
  appelsSysteme.endfsent = endfsentSimule;
  appelsSysteme.canonicalize_file_name = canonicalizeSimule;
  appelsSysteme.stat64 = stat64Simule;
  appelsSysteme.access = accessSimule;
  appelsSysteme.open64 = open64Simule;
  appelsSysteme.fstat64 = fstat64Simule;
  appelsSysteme.read = readSimule;
  appelsSysteme.close = closeSimule;
  static const char blkid[] =
      "<device LABEL=\"root\" UUID=\"1234-abcd\">/dev/sda1</device>\n"
      "<device LABEL=\"data\">/dev/sdb1</device><device LABEL=\"data\">/dev/sdc1</device>\n";
  cache = new CacheBlkid;
  cache->lire(blkid, sizeof blkid - 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
  decouper(donnees, taille);
  StringArray liste;

  listerPeripheriquesMontes(liste);
  for (size_t i = 0; i < liste.count(); ++i) VERIFIER(cheminNu(liste[i]));

  listerPointsMontage(liste);
  for (size_t i = 0; i < liste.count(); ++i) VERIFIER(cheminNu(liste[i]));
  VERIFIER(distincts(liste));
  VERIFIER(liste.count() == 0 || liste.find("/", 0) < liste.count());

  const char* chemins[] = {"/", "/home/user/file", "/mnt/missing/x", "/mnt//data/"};
  for (const char* c : chemins) {
    char* point = pointMontage(c);
    VERIFIER(point == nullptr || point[0] == '/');
    free(point);
  }

  liste.clear();
  declarerDepuisFstab(*cache, liste);
  for (size_t i = 0; i < liste.count(); ++i) VERIFIER(cheminNu(liste[i]));

  liste.clear();
  declarerDepuisAutomontage(liste);
  for (size_t i = 0; i < liste.count(); ++i) VERIFIER(cheminNu(liste[i]));
  VERIFIER(distincts(liste));
  VERIFIER(ouvert == nullptr && fluxFstab == nullptr);
  return 0;
}
