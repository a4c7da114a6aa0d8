#include "sim/machine_linux.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "sim/directives_machine.h"

namespace {

// Device number of every declared node's file system.
const dev_t DEV_SIMULE = makedev(0xFFE, 0x5151);
const int SAUTS_MAX = 40;

enum class Nature { bloc, caractere, lien, repertoire, liaison };

struct Noeud {
  Nature nature = Nature::repertoire;
  std::string chemin;
  uint32_t majeur = 0, mineur = 0;
  std::string image;  // host path
  uint64_t decalage = 0, taille = 0;
  bool sszRefuse = false;
  uint32_t ssz = 512;
  bool geoRefuse = false;
  unsigned tetes = 255, secteurs = 63, cylindres = 0;
  uint64_t debut = 0;
  bool occupe = false, lectureSeule = false;
  std::string cible;  // link or bind target
  bool implicite = false;
  uint64_t inode = 0;
};

struct Echec {
  std::string appel, chemin;
  int erreur = EIO;
  uint64_t apres = 0, nombre = 0, vus = 0;  // nombre 0: every call after `apres`
};

struct Ouvert {
  size_t noeud = 0;
  int reel = -1;
  uint64_t position = 0;
  bool exclusif = false, ecriture = false;
  std::string donne;
};

struct Entree {
  std::string nom;
  unsigned char type;
  uint64_t inode;
};

struct RepertoireSimule {
  std::vector<Entree> entrees;
  size_t suivant = 0;
  struct dirent64 courant;
};

struct Machine {
  std::string racine;
  std::vector<Noeud> noeuds;
  std::map<std::string, size_t> index;
  std::map<std::string, std::vector<size_t>> enfants;
  std::string release = "6.1.0";
  std::string glibc;
  bool glibcFixe = false;
  uid_t uid = 0;
  bool tty = false;
  std::vector<Echec> echecs;
  std::map<int, Ouvert> ouverts;
  std::set<void*> repertoires;
  std::set<char**> globs;
  int optionsJournal = 0;
  FILE* fstab = nullptr;
  struct fstab entreeFstab;
  std::string champsFstab[4];
  T_AppelsSysteme sauvegarde;
};

Machine* active = nullptr;

int echouer(int code) {
  errno = code;
  return -1;
}

// Lexical components of a path ("", "." dropped).
std::deque<std::string> composants(const std::string& chemin) {
  std::deque<std::string> r;
  size_t i = 0;
  while (i < chemin.size()) {
    size_t j = chemin.find('/', i);
    if (j == std::string::npos) j = chemin.size();
    std::string c = chemin.substr(i, j - i);
    if (!c.empty() && c != ".") r.push_back(c);
    i = j + 1;
  }
  return r;
}

template <typename C>
std::string joindre(const C& parties) {
  std::string r;
  for (const std::string& p : parties) r += "/" + p;
  return r.empty() ? "/" : r;
}

std::string normaliser(const std::string& chemin) {
  std::vector<std::string> faits;
  for (const std::string& c : composants(chemin)) {
    if (c == "..") {
      if (!faits.empty()) faits.pop_back();
    } else {
      faits.push_back(c);
    }
  }
  return joindre(faits);
}

std::string parent(const std::string& chemin) {
  size_t i = chemin.rfind('/');
  return i == 0 || i == std::string::npos ? "/" : chemin.substr(0, i);
}

std::string nomFinal(const std::string& chemin) { return chemin.substr(chemin.rfind('/') + 1); }

bool absolu(const char* chemin) { return chemin != nullptr && chemin[0] == '/'; }

// ---------------------------------------------------------------- failures

bool regleChoisie(const Echec& e, const std::string& appel, const std::string& chemin,
                  const std::string& resolu) {
  if (e.appel != appel) return false;
  return e.chemin == "*" || e.chemin == chemin || e.chemin == resolu;
}

// True (errno set) when a fail directive takes this call.
bool injecte(const std::string& appel, const std::string& chemin, const std::string& resolu) {
  for (Echec& e : active->echecs) {
    if (!regleChoisie(e, appel, chemin, resolu)) continue;
    ++e.vus;
    if (e.vus <= e.apres) continue;
    if (e.nombre != 0 && e.vus - e.apres > e.nombre) continue;
    errno = e.erreur;
    return true;
  }
  return false;
}

bool injecteFd(const std::string& appel, const Ouvert& o) {
  return injecte(appel, o.donne, active->noeuds[o.noeud].chemin);
}

// ---------------------------------------------------------------- names

struct Cible {
  std::string chemin;  // resolved, normalised
  long noeud = -1;     // declared node, else a real file below the root
};

bool estRepertoire(const Cible& c);

// A path ending in '/' or "/." names a directory: its last link is followed
// and anything else fails with ENOTDIR, as in the kernel.
bool finitEnRepertoire(const std::string& chemin) {
  size_t n = chemin.size();
  return (n > 0 && chemin[n - 1] == '/') || (n > 1 && chemin.compare(n - 2, 2, "/.") == 0);
}

// Walks the path component by component through links and binds; 0 or an
// errno value.
int resoudre(const std::string& donne, bool suivre, Cible* c) {
  Machine& m = *active;
  bool repertoireExige = finitEnRepertoire(donne);
  suivre = suivre || repertoireExige;
  std::deque<std::string> restants = composants(donne);
  std::vector<std::string> faits;
  int sauts = 0;
  while (!restants.empty()) {
    std::string nom = restants.front();
    restants.pop_front();
    if (nom == "..") {
      if (!faits.empty()) faits.pop_back();
      continue;
    }
    faits.push_back(nom);
    std::string p = joindre(faits);
    bool dernier = restants.empty();
    std::string cible;
    bool substituer = false;
    auto it = m.index.find(p);
    if (it != m.index.end()) {
      const Noeud& n = m.noeuds[it->second];
      if (n.nature == Nature::liaison || (n.nature == Nature::lien && (!dernier || suivre))) {
        cible = n.cible;
        substituer = true;
      } else if (!dernier && n.nature != Nature::repertoire) {
        return ENOTDIR;
      }
    } else {
      struct stat64 e;
      std::string reel = m.racine + p;
      if (::lstat64(reel.c_str(), &e) != 0) return errno;
      if (S_ISLNK(e.st_mode) && (!dernier || suivre)) {
        std::vector<char> tampon(PATH_MAX + 1);
        ssize_t n = ::readlink(reel.c_str(), tampon.data(), PATH_MAX);
        if (n < 0) return errno;
        cible.assign(tampon.data(), static_cast<size_t>(n));
        substituer = true;
      } else if (!dernier && !S_ISDIR(e.st_mode)) {
        return ENOTDIR;
      }
    }
    if (substituer) {
      if (++sauts > SAUTS_MAX) return ELOOP;
      faits.pop_back();
      if (!cible.empty() && cible[0] == '/') faits.clear();
      std::deque<std::string> nouveaux = composants(cible);
      restants.insert(restants.begin(), nouveaux.begin(), nouveaux.end());
    }
  }
  c->chemin = joindre(faits);
  auto it = m.index.find(c->chemin);
  c->noeud = it == m.index.end() ? -1 : static_cast<long>(it->second);
  return repertoireExige && !estRepertoire(*c) ? ENOTDIR : 0;
}

std::string reel(const Cible& c) { return active->racine + c.chemin; }

void etatNoeud(const Noeud& n, struct stat64* e) {
  memset(e, 0, sizeof *e);
  e->st_dev = DEV_SIMULE;
  e->st_ino = n.inode;
  e->st_nlink = 1;
  e->st_blksize = 4096;
  switch (n.nature) {
    case Nature::bloc:
      e->st_mode = S_IFBLK | 0660;
      e->st_gid = 6;
      e->st_rdev = makedev(n.majeur, n.mineur);
      break;
    case Nature::caractere:
      e->st_mode = S_IFCHR | 0660;
      e->st_rdev = makedev(n.majeur, n.mineur);
      break;
    case Nature::lien:
      e->st_mode = S_IFLNK | 0777;
      e->st_size = static_cast<off64_t>(n.cible.size());
      break;
    case Nature::repertoire:
    case Nature::liaison:
      e->st_mode = S_IFDIR | 0755;
      e->st_nlink = 2;
      break;
  }
}

unsigned char typeEntree(mode_t mode) {
  if (S_ISDIR(mode)) return DT_DIR;
  if (S_ISBLK(mode)) return DT_BLK;
  if (S_ISCHR(mode)) return DT_CHR;
  if (S_ISLNK(mode)) return DT_LNK;
  if (S_ISFIFO(mode)) return DT_FIFO;
  if (S_ISSOCK(mode)) return DT_SOCK;
  if (S_ISREG(mode)) return DT_REG;
  return DT_UNKNOWN;
}

// Entries of a resolved directory: ".", "..", the declared nodes in
// declaration order, then the real entries below the root, by name.
std::vector<Entree> lister(const Cible& c) {
  Machine& m = *active;
  std::vector<Entree> r = {{".", DT_DIR, 0}, {"..", DT_DIR, 0}};
  std::set<std::string> vus;
  auto it = m.enfants.find(c.chemin);
  if (it != m.enfants.end()) {
    for (size_t i : it->second) {
      const Noeud& n = m.noeuds[i];
      struct stat64 e;
      etatNoeud(n, &e);
      r.push_back({nomFinal(n.chemin), typeEntree(e.st_mode), n.inode});
      vus.insert(r.back().nom);
    }
  }
  std::vector<Entree> reels;
  if (DIR* d = ::opendir(reel(c).c_str())) {
    while (struct dirent64* e = ::readdir64(d)) {
      std::string nom = e->d_name;
      if (nom == "." || nom == ".." || vus.count(nom)) continue;
      reels.push_back({nom, e->d_type, e->d_ino});
    }
    ::closedir(d);
  }
  std::sort(reels.begin(), reels.end(),
            [](const Entree& a, const Entree& b) { return a.nom < b.nom; });
  r.insert(r.end(), reels.begin(), reels.end());
  return r;
}

bool estRepertoire(const Cible& c) {
  if (c.noeud >= 0) {
    Nature n = active->noeuds[static_cast<size_t>(c.noeud)].nature;
    return n == Nature::repertoire || n == Nature::liaison;
  }
  struct stat64 e;
  return ::stat64(reel(c).c_str(), &e) == 0 && S_ISDIR(e.st_mode);
}

// ---------------------------------------------------------------- seam entries

int simOpen64(const char* chemin, int drapeaux) {
  Machine& m = *active;
  if (!absolu(chemin)) return m.sauvegarde.open64(chemin, drapeaux);
  Cible c;
  int erreur = resoudre(chemin, (drapeaux & O_NOFOLLOW) == 0, &c);
  if (erreur != 0) return echouer(erreur);
  if (injecte("open", normaliser(chemin), c.chemin)) return -1;
  int acces = drapeaux & O_ACCMODE;
  if (c.noeud < 0) {
    return ::open64(reel(c).c_str(), drapeaux, 0600);
  }
  size_t i = static_cast<size_t>(c.noeud);
  const Noeud& n = m.noeuds[i];
  Ouvert o;
  o.noeud = i;
  o.donne = normaliser(chemin);
  o.ecriture = acces != O_RDONLY;
  switch (n.nature) {
    case Nature::lien:
      return echouer(ELOOP);
    case Nature::bloc:
      if (n.lectureSeule && o.ecriture) return echouer(EACCES);
      if (drapeaux & O_DIRECTORY) return echouer(ENOTDIR);
      if (drapeaux & O_EXCL) {
        if (n.occupe) return echouer(EBUSY);
        for (const auto& p : m.ouverts)
          if (p.second.noeud == i && p.second.exclusif) return echouer(EBUSY);
        o.exclusif = true;
      }
      o.reel = ::open64(n.image.c_str(), acces | O_CLOEXEC);
      break;
    case Nature::caractere:
      if (drapeaux & O_DIRECTORY) return echouer(ENOTDIR);
      o.reel = ::open64("/dev/null", acces | O_CLOEXEC);
      break;
    case Nature::repertoire:
    case Nature::liaison: {
      if (o.ecriture) return echouer(EISDIR);
      std::string r = reel(c);
      struct stat64 e;
      if (::stat64(r.c_str(), &e) != 0 || !S_ISDIR(e.st_mode)) r = m.racine;
      o.reel = ::open64(r.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      break;
    }
  }
  if (o.reel < 0) return -1;
  m.ouverts[o.reel] = o;
  return o.reel;
}

Ouvert* ouvert(int fd) {
  auto it = active->ouverts.find(fd);
  return it == active->ouverts.end() ? nullptr : &it->second;
}

const Noeud& noeudDe(const Ouvert& o) { return active->noeuds[o.noeud]; }

int simClose(int fd) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.close(fd);
  active->ouverts.erase(fd);
  return ::close(fd);
}

ssize_t simRead(int fd, void* tampon, size_t nombre) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.read(fd, tampon, nombre);
  const Noeud& n = noeudDe(*o);
  if (injecteFd("read", *o)) return -1;
  if (n.nature == Nature::repertoire || n.nature == Nature::liaison) return echouer(EISDIR);
  if (n.nature != Nature::bloc) return ::read(fd, tampon, nombre);
  if (o->position >= n.taille) return 0;
  uint64_t reste = n.taille - o->position;
  size_t k = nombre < reste ? nombre : static_cast<size_t>(reste);
  ssize_t r = ::pread64(fd, tampon, k, static_cast<off64_t>(n.decalage + o->position));
  if (r > 0) o->position += static_cast<uint64_t>(r);
  return r;
}

ssize_t simWrite(int fd, const void* donnees, size_t nombre) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.write(fd, donnees, nombre);
  const Noeud& n = noeudDe(*o);
  if (injecteFd("write", *o)) return -1;
  if (n.nature == Nature::repertoire || n.nature == Nature::liaison) return echouer(EISDIR);
  if (n.nature != Nature::bloc) return ::write(fd, donnees, nombre);
  if (!o->ecriture) return echouer(EBADF);
  if (nombre == 0) return 0;
  if (o->position >= n.taille) return echouer(ENOSPC);
  uint64_t reste = n.taille - o->position;
  size_t k = nombre < reste ? nombre : static_cast<size_t>(reste);
  ssize_t r = ::pwrite64(fd, donnees, k, static_cast<off64_t>(n.decalage + o->position));
  if (r > 0) o->position += static_cast<uint64_t>(r);
  return r;
}

off64_t simLseek64(int fd, off64_t position, int origine) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.lseek64(fd, position, origine);
  const Noeud& n = noeudDe(*o);
  if (injecteFd("seek", *o)) return -1;
  if (n.nature != Nature::bloc) return ::lseek64(fd, position, origine);
  int64_t base;
  switch (origine) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(o->position); break;
    case SEEK_END: base = static_cast<int64_t>(n.taille); break;
    default: return echouer(EINVAL);
  }
  // A block device refuses a position beyond its end.
  if ((position > 0 && base > INT64_MAX - position) || base + position < 0 ||
      static_cast<uint64_t>(base + position) > n.taille)
    return echouer(EINVAL);
  o->position = static_cast<uint64_t>(base + position);
  return static_cast<off64_t>(o->position);
}

int simFsync(int fd) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.fsync(fd);
  return injecteFd("fsync", *o) ? -1 : 0;
}

const char* nomRequete(unsigned long requete) {
  switch (requete) {
    case BLKSSZGET: return "BLKSSZGET";
    case BLKGETSIZE64: return "BLKGETSIZE64";
    case BLKGETSIZE: return "BLKGETSIZE";
    case HDIO_GETGEO: return "HDIO_GETGEO";
    case BLKFLSBUF: return "BLKFLSBUF";
    case BLKRRPART: return "BLKRRPART";
    default: return "?";
  }
}

int simIoctl(int fd, unsigned long requete, void* argument) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.ioctl(fd, requete, argument);
  const Noeud& n = noeudDe(*o);
  if (injecteFd("ioctl", *o) || injecteFd(nomRequete(requete), *o)) return -1;
  if (n.nature != Nature::bloc) return echouer(ENOTTY);
  switch (requete) {
    case BLKSSZGET: {
      if (n.sszRefuse) return echouer(ENOTTY);
      if (argument == nullptr) return echouer(EFAULT);
      int v = static_cast<int>(n.ssz);
      memcpy(argument, &v, sizeof v);
      return 0;
    }
    case BLKGETSIZE64:
      if (argument == nullptr) return echouer(EFAULT);
      memcpy(argument, &n.taille, sizeof n.taille);
      return 0;
    case BLKGETSIZE: {
      if (argument == nullptr) return echouer(EFAULT);
      uint64_t s = n.taille / 512;
      if (s > ULONG_MAX) return echouer(EFBIG);
      unsigned long v = static_cast<unsigned long>(s);
      memcpy(argument, &v, sizeof v);
      return 0;
    }
    case HDIO_GETGEO: {
      if (n.geoRefuse) return echouer(ENOTTY);
      if (argument == nullptr) return echouer(EFAULT);
      struct hd_geometry g;
      g.heads = static_cast<unsigned char>(n.tetes);
      g.sectors = static_cast<unsigned char>(n.secteurs);
      g.cylinders = static_cast<unsigned short>(n.cylindres);
      g.start = static_cast<unsigned long>(n.debut);
      memcpy(argument, &g, sizeof g);
      return 0;
    }
    case BLKFLSBUF:
    case BLKRRPART:
      return 0;
    default:
      return echouer(ENOTTY);
  }
}

void ajouterJournal(const char* fichier, const std::string& ligne);

int simFcntl(int fd, int commande, struct flock* verrou) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.fcntl(fd, commande, verrou);
  switch (commande) {
    case F_SETLK:
    case F_SETLKW: {
      if (injecteFd("fcntl", *o)) return -1;
      const char* quoi = verrou != nullptr && verrou->l_type == F_UNLCK ? "unlock " : "lock ";
      ajouterJournal("locks.log", quoi + active->noeuds[o->noeud].chemin + "\n");
      return 0;
    }
    case F_GETLK:
      if (verrou != nullptr) verrou->l_type = F_UNLCK;
      return 0;
    default:
      return T_AppelsSysteme::fcntlReel(fd, commande, verrou);
  }
}

int etatChemin(const char* chemin, struct stat64* etat, bool suivre) {
  Cible c;
  int erreur = resoudre(chemin, suivre, &c);
  if (erreur != 0) return echouer(erreur);
  if (injecte(suivre ? "stat" : "lstat", normaliser(chemin), c.chemin)) return -1;
  if (c.noeud >= 0) {
    etatNoeud(active->noeuds[static_cast<size_t>(c.noeud)], etat);
    return 0;
  }
  return ::lstat64(reel(c).c_str(), etat);
}

int simLstat64(const char* chemin, struct stat64* etat) {
  if (!absolu(chemin)) return active->sauvegarde.lstat64(chemin, etat);
  return etatChemin(chemin, etat, false);
}

int simStat64(const char* chemin, struct stat64* etat) {
  if (!absolu(chemin)) return active->sauvegarde.stat64(chemin, etat);
  return etatChemin(chemin, etat, true);
}

int simFstat64(int fd, struct stat64* etat) {
  Ouvert* o = ouvert(fd);
  if (o == nullptr) return active->sauvegarde.fstat64(fd, etat);
  etatNoeud(noeudDe(*o), etat);
  return 0;
}

int simAccess(const char* chemin, int mode) {
  if (!absolu(chemin)) return active->sauvegarde.access(chemin, mode);
  Cible c;
  int erreur = resoudre(chemin, true, &c);
  if (erreur != 0) return echouer(erreur);
  if (c.noeud < 0) return ::access(reel(c).c_str(), mode);
  const Noeud& n = active->noeuds[static_cast<size_t>(c.noeud)];
  bool repertoire = n.nature == Nature::repertoire || n.nature == Nature::liaison;
  if ((mode & W_OK) && n.lectureSeule) return echouer(EACCES);
  if ((mode & X_OK) && !repertoire) return echouer(EACCES);
  return 0;
}

char* simCanonicalize(const char* chemin) {
  if (!absolu(chemin)) return active->sauvegarde.canonicalize_file_name(chemin);
  Cible c;
  int erreur = resoudre(chemin, true, &c);
  if (erreur != 0) {
    errno = erreur;
    return nullptr;
  }
  return strdup(c.chemin.c_str());
}

DIR* simOpendir(const char* chemin) {
  if (!absolu(chemin)) return active->sauvegarde.opendir(chemin);
  Cible c;
  int erreur = resoudre(chemin, true, &c);
  if (erreur != 0) {
    errno = erreur;
    return nullptr;
  }
  if (injecte("opendir", normaliser(chemin), c.chemin)) return nullptr;
  if (!estRepertoire(c)) {
    errno = ENOTDIR;
    return nullptr;
  }
  RepertoireSimule* r = new RepertoireSimule;
  r->entrees = lister(c);
  active->repertoires.insert(r);
  return reinterpret_cast<DIR*>(r);
}

struct dirent64* simReaddir64(DIR* repertoire) {
  if (!active->repertoires.count(repertoire)) return active->sauvegarde.readdir64(repertoire);
  RepertoireSimule* r = reinterpret_cast<RepertoireSimule*>(repertoire);
  if (r->suivant >= r->entrees.size()) return nullptr;
  const Entree& e = r->entrees[r->suivant++];
  memset(&r->courant, 0, sizeof r->courant);
  r->courant.d_ino = e.inode;
  r->courant.d_off = static_cast<off64_t>(r->suivant);
  r->courant.d_reclen = sizeof r->courant;
  r->courant.d_type = e.type;
  snprintf(r->courant.d_name, sizeof r->courant.d_name, "%s", e.nom.c_str());
  return &r->courant;
}

int simClosedir(DIR* repertoire) {
  if (!active->repertoires.count(repertoire)) return active->sauvegarde.closedir(repertoire);
  active->repertoires.erase(repertoire);
  delete reinterpret_cast<RepertoireSimule*>(repertoire);
  return 0;
}

bool magique(const std::string& c) { return c.find_first_of("*?[") != std::string::npos; }

std::string sansEchappement(const std::string& c) {
  std::string r;
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] == '\\' && i + 1 < c.size()) ++i;
    r += c[i];
  }
  return r;
}

// Absolute patterns over the simulated names; no GLOB_APPEND, GLOB_DOOFFS
// or GLOB_MARK.
int simGlob64(const char* motif, int drapeaux, int (*erreur)(const char*, int),
              glob64_t* resultat) {
  if (!absolu(motif)) return active->sauvegarde.glob64(motif, drapeaux, erreur, resultat);
  bool echappe = (drapeaux & GLOB_NOESCAPE) == 0;
  std::deque<std::string> parties = composants(motif);
  std::vector<std::string> chemins = {""};
  for (size_t k = 0; k < parties.size(); ++k) {
    bool dernier = k + 1 == parties.size();
    const std::string& partie = parties[k];
    std::vector<std::string> suivants;
    for (const std::string& p : chemins) {
      std::vector<std::string> candidats;
      if (magique(partie)) {
        Cible c;
        if (resoudre(p.empty() ? "/" : p, true, &c) != 0 || !estRepertoire(c)) continue;
        for (const Entree& e : lister(c)) {
          if (e.nom == "." || e.nom == "..") continue;
          if (e.nom[0] == '.' && partie[0] != '.' && !(drapeaux & GLOB_PERIOD)) continue;
          if (fnmatch(partie.c_str(), e.nom.c_str(), echappe ? 0 : FNM_NOESCAPE) == 0)
            candidats.push_back(p + "/" + e.nom);
        }
      } else {
        candidats.push_back(p + "/" + (echappe ? sansEchappement(partie) : partie));
      }
      for (const std::string& x : candidats) {
        Cible c;
        if (resoudre(x, !dernier, &c) != 0) continue;
        if (!dernier && !estRepertoire(c)) continue;
        suivants.push_back(x);
      }
    }
    chemins.swap(suivants);
  }
  if (parties.empty()) chemins = {"/"};
  if (chemins.empty() || (chemins.size() == 1 && chemins[0].empty())) {
    if (!(drapeaux & GLOB_NOCHECK)) return GLOB_NOMATCH;
    chemins = {motif};
  }
  if (!(drapeaux & GLOB_NOSORT)) std::sort(chemins.begin(), chemins.end());
  char** v = static_cast<char**>(calloc(chemins.size() + 1, sizeof(char*)));
  for (size_t i = 0; i < chemins.size(); ++i) v[i] = strdup(chemins[i].c_str());
  resultat->gl_pathc = chemins.size();
  resultat->gl_pathv = v;
  resultat->gl_offs = 0;
  active->globs.insert(v);
  return 0;
}

void simGlobfree64(glob64_t* resultat) {
  if (!active->globs.count(resultat->gl_pathv)) {
    active->sauvegarde.globfree64(resultat);
    return;
  }
  active->globs.erase(resultat->gl_pathv);
  for (size_t i = 0; i < resultat->gl_pathc; ++i) free(resultat->gl_pathv[i]);
  free(resultat->gl_pathv);
  resultat->gl_pathv = nullptr;
  resultat->gl_pathc = 0;
}

FILE* simSetmntent(const char* fichier, const char* mode) {
  if (!absolu(fichier)) return active->sauvegarde.setmntent(fichier, mode);
  Cible c;
  int erreur = resoudre(fichier, true, &c);
  if (erreur != 0) {
    errno = erreur;
    return nullptr;
  }
  if (c.noeud >= 0) {
    errno = EACCES;
    return nullptr;
  }
  return ::setmntent(reel(c).c_str(), mode);
}

int simSetfsent() {
  Machine& m = *active;
  if (m.fstab != nullptr) {
    rewind(m.fstab);
    return 1;
  }
  // Found like any other path, links followed inside the machine.
  Cible c;
  if (resoudre("/etc/fstab", true, &c) != 0 || c.noeud >= 0) return 0;
  m.fstab = ::setmntent(reel(c).c_str(), "r");
  return m.fstab != nullptr ? 1 : 0;
}

// The access type of an fstab entry, from its options.
const char* typeFstab(const struct mntent* e) {
  static const char* const types[] = {FSTAB_RW, FSTAB_RQ, FSTAB_RO, FSTAB_SW, FSTAB_XX};
  for (const char* t : types)
    if (hasmntopt(e, t) != nullptr) return t;
  return "??";
}

struct fstab* simGetfsent() {
  Machine& m = *active;
  if (m.fstab == nullptr && !simSetfsent()) return nullptr;
  struct mntent* e = ::getmntent(m.fstab);
  if (e == nullptr) return nullptr;
  m.champsFstab[0] = e->mnt_fsname;
  m.champsFstab[1] = e->mnt_dir;
  m.champsFstab[2] = e->mnt_type;
  m.champsFstab[3] = e->mnt_opts;
  m.entreeFstab.fs_spec = &m.champsFstab[0][0];
  m.entreeFstab.fs_file = &m.champsFstab[1][0];
  m.entreeFstab.fs_vfstype = &m.champsFstab[2][0];
  m.entreeFstab.fs_mntops = &m.champsFstab[3][0];
  m.entreeFstab.fs_type = typeFstab(e);
  m.entreeFstab.fs_freq = e->mnt_freq;
  m.entreeFstab.fs_passno = e->mnt_passno;
  return &m.entreeFstab;
}

void simEndfsent() {
  if (active->fstab != nullptr) ::endmntent(active->fstab);
  active->fstab = nullptr;
}

int simUname(struct utsname* nom) {
  if (active->sauvegarde.uname(nom) != 0) return -1;
  snprintf(nom->release, sizeof nom->release, "%s", active->release.c_str());
  return 0;
}

const char* simGlibc() {
  return active->glibcFixe ? active->glibc.c_str() : active->sauvegarde.gnu_get_libc_version();
}

uid_t simGetuid() { return active->uid; }

int simIsatty(int fd) {
  bool terminal = (fd == 0 || fd == 1) && active->tty;
  if (fd == 0 || fd == 1 || ouvert(fd) != nullptr) {
    if (!terminal) errno = ENOTTY;
    return terminal ? 1 : 0;
  }
  return active->sauvegarde.isatty(fd);
}

void ajouterJournal(const char* fichier, const std::string& ligne) {
  std::ofstream f(active->racine + "/" + fichier, std::ios::app | std::ios::binary);
  f << ligne;
}

pid_t simFork() { return injecte("fork", "*", "*") ? -1 : 0; }

// The relaunch: the vector is written and the process ends as the parent of
// a started terminal does, through its exit functions, with status 0.
int simExecvp(const char* programme, char* const arguments[]) {
  std::string ligne;
  for (size_t i = 0; arguments != nullptr && arguments[i] != nullptr; ++i)
    ligne += (i ? " " : "") + std::string(arguments[i]);
  ajouterJournal("exec.log", ligne + "\n");
  if (injecte("exec", programme, programme)) return -1;
  fflush(nullptr);
  exit(0);
}

void simOpenlog(const char*, int options, int) { active->optionsJournal = options; }

void simVsyslog(int priorite, const char* format, va_list arguments) {
  va_list copie;
  va_copy(copie, arguments);
  int n = vsnprintf(nullptr, 0, format, copie);
  va_end(copie);
  std::string texte(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) vsnprintf(&texte[0], texte.size() + 1, format, arguments);
  if (texte.empty() || texte.back() != '\n') texte += '\n';
  ajouterJournal("syslog.log", "<" + std::to_string(priorite) + ">" + texte);
  if (active->optionsJournal & LOG_PERROR) fputs(texte.c_str(), stderr);
}

void simSync() {}

// Only the process itself can be signalled: init and others are untouched.
int simKill(pid_t processus, int numero) {
  if (processus == 0 || processus == getpid()) return active->sauvegarde.kill(processus, numero);
  return 0;
}

// ---------------------------------------------------------------- loading

bool lireNombre(const std::string& texte, uint64_t* valeur) {
  if (texte.empty()) return false;
  errno = 0;
  char* fin = nullptr;
  unsigned long long v = strtoull(texte.c_str(), &fin, 0);
  if (errno != 0 || fin == texte.c_str() || texte[0] == '-') return false;
  std::string suffixe = fin;
  unsigned decalage = 0;
  if (suffixe == "K") decalage = 10;
  else if (suffixe == "M") decalage = 20;
  else if (suffixe == "G") decalage = 30;
  else if (suffixe == "T") decalage = 40;
  else if (!suffixe.empty()) return false;
  if (decalage && v > (~0ULL >> decalage)) return false;
  *valeur = static_cast<uint64_t>(v) << decalage;
  return true;
}

bool lireErreur(const std::string& texte, int* erreur) {
  static const std::pair<const char*, int> noms[] = {
      {"EPERM", EPERM},   {"ENOENT", ENOENT},   {"EINTR", EINTR},   {"EIO", EIO},
      {"ENXIO", ENXIO},   {"EBADF", EBADF},     {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM},
      {"EACCES", EACCES}, {"EFAULT", EFAULT},   {"EBUSY", EBUSY},   {"EEXIST", EEXIST},
      {"ENODEV", ENODEV}, {"ENOTDIR", ENOTDIR}, {"EISDIR", EISDIR}, {"EINVAL", EINVAL},
      {"ENOTTY", ENOTTY}, {"EFBIG", EFBIG},     {"ENOSPC", ENOSPC}, {"EROFS", EROFS},
      {"ELOOP", ELOOP},   {"ENOMEDIUM", ENOMEDIUM}, {"EOVERFLOW", EOVERFLOW}};
  for (const auto& n : noms) {
    if (texte == n.first) {
      *erreur = n.second;
      return true;
    }
  }
  uint64_t v;
  if (!lireNombre(texte, &v) || v > 4095) return false;
  *erreur = static_cast<int>(v);
  return true;
}

class Chargeur : public LecteurDirectives {
 public:
  explicit Chargeur(Machine& m) : m_(m) {}

  bool charger(std::string* erreur) {
    ajouterNoeud(Noeud{}, "/");
    return lireDirectives(m_.racine + "/machine", directiveWindows, erreur);
  }

 private:
  bool directive(const std::vector<std::string>& m) override {
    const std::string& d = m[0];
    if (d == "block") return bloc(m);
    if (d == "chr") {
      if (m.size() != 3) return refus("chr PATH MAJOR:MINOR");
      Noeud n;
      n.nature = Nature::caractere;
      return numeros(m[2], &n) && declarer(n, m[1]);
    }
    if (d == "link" || d == "bind") {
      if (m.size() != 3) return refus(d + " PATH TARGET");
      Noeud n;
      n.nature = d == "link" ? Nature::lien : Nature::liaison;
      n.cible = m[2];
      if (n.nature == Nature::liaison && m[2][0] != '/') return refus("bind target must be absolute");
      return declarer(n, m[1]);
    }
    if (d == "dir") {
      if (m.size() != 2) return refus("dir PATH");
      return declarer(Noeud{}, m[1]);
    }
    if (d == "uname" || d == "glibc") {
      if (m.size() != 2) return refus(d + " VERSION");
      if (d == "uname") {
        m_.release = m[1];
      } else {
        m_.glibc = m[1];
        m_.glibcFixe = true;
      }
      return true;
    }
    if (d == "uid") {
      uint64_t v;
      if (m.size() != 2 || !lireNombre(m[1], &v) || v > 0xFFFFFFFE) return refus("uid N");
      m_.uid = static_cast<uid_t>(v);
      return true;
    }
    if (d == "tty") {
      if (m.size() != 2 || (m[1] != "yes" && m[1] != "no")) return refus("tty yes|no");
      m_.tty = m[1] == "yes";
      return true;
    }
    if (d == "fail") return echec(m);
    return refus("unknown directive " + d);
  }

  bool numeros(const std::string& texte, Noeud* n) {
    size_t deux = texte.find(':');
    uint64_t a, b;
    if (deux == std::string::npos || !lireNombre(texte.substr(0, deux), &a) ||
        !lireNombre(texte.substr(deux + 1), &b) || a > 0xFFF || b > 0xFFFFF)
      return refus("bad device number " + texte);
    n->majeur = static_cast<uint32_t>(a);
    n->mineur = static_cast<uint32_t>(b);
    return true;
  }

  bool bloc(const std::vector<std::string>& m) {
    if (m.size() < 4) return refus("block PATH MAJOR:MINOR IMAGE [options]");
    Noeud n;
    n.nature = Nature::bloc;
    if (!numeros(m[2], &n)) return false;
    n.image = m[3][0] == '/' ? m[3] : m_.racine + "/" + m[3];
    struct stat64 e;
    if (::stat64(n.image.c_str(), &e) != 0 || !S_ISREG(e.st_mode))
      return refus("image " + m[3] + " is not a file");
    uint64_t tailleImage = static_cast<uint64_t>(e.st_size);
    bool tailleDonnee = false, geoDonnee = false;
    for (size_t i = 4; i < m.size(); ++i) {
      const std::string& o = m[i];
      std::string valeur = o.substr(o.find('=') + 1);
      if (o.rfind("offset=", 0) == 0) {
        if (!lireNombre(valeur, &n.decalage)) return refus("bad " + o);
      } else if (o.rfind("size=", 0) == 0) {
        if (!lireNombre(valeur, &n.taille)) return refus("bad " + o);
        tailleDonnee = true;
      } else if (o == "ssz=none") {
        n.sszRefuse = true;
      } else if (o.rfind("ssz=", 0) == 0) {
        uint64_t v;
        if (!lireNombre(valeur, &v) || v > 0x7FFFFFFF) return refus("bad " + o);
        n.ssz = static_cast<uint32_t>(v);
      } else if (o == "geo=none") {
        n.geoRefuse = true;
      } else if (o.rfind("geo=", 0) == 0) {
        if (!geometrie(valeur, &n)) return refus("bad " + o + " (H/S/C/START)");
        geoDonnee = true;
      } else if (o == "busy") {
        n.occupe = true;
      } else if (o == "ro") {
        n.lectureSeule = true;
      } else {
        return refus("unknown option " + o);
      }
    }
    if (n.decalage > tailleImage) return refus("offset beyond the image");
    if (!tailleDonnee) n.taille = tailleImage - n.decalage;
    if (n.taille > tailleImage - n.decalage) return refus("window beyond the image");
    if (!geoDonnee) {
      uint64_t c = n.taille / (255 * 63 * 512ULL);
      n.cylindres = static_cast<unsigned>(c < 65535 ? c : 65535);
      n.debut = n.decalage / 512;
    }
    return declarer(n, m[1]);
  }

  bool geometrie(const std::string& texte, Noeud* n) {
    uint64_t v[4];
    size_t debut = 0;
    for (int k = 0; k < 4; ++k) {
      size_t fin = k < 3 ? texte.find('/', debut) : texte.size();
      if (fin == std::string::npos || !lireNombre(texte.substr(debut, fin - debut), &v[k]))
        return false;
      debut = fin + 1;
    }
    if (v[0] > 255 || v[1] > 255 || v[2] > 65535) return false;
    n->tetes = static_cast<unsigned>(v[0]);
    n->secteurs = static_cast<unsigned>(v[1]);
    n->cylindres = static_cast<unsigned>(v[2]);
    n->debut = v[3];
    return true;
  }

  bool echec(const std::vector<std::string>& m) {
    if (m.size() < 4) return refus("fail CALL PATH ERRNO [after=N] [count=N]");
    static const std::set<std::string> appels = {
        "open",      "read",         "write",      "seek",        "fsync",     "fcntl",
        "ioctl",     "BLKSSZGET",    "BLKGETSIZE64", "BLKGETSIZE", "HDIO_GETGEO",
        "BLKFLSBUF", "BLKRRPART",    "lstat",      "stat",        "opendir",   "fork",
        "exec"};
    Echec e;
    e.appel = m[1];
    if (!appels.count(e.appel)) return refus("unknown call " + e.appel);
    e.chemin = m[2] == "*" || e.appel == "exec" ? m[2] : normaliser(m[2]);
    if (!lireErreur(m[3], &e.erreur)) return refus("bad errno " + m[3]);
    for (size_t i = 4; i < m.size(); ++i) {
      std::string valeur = m[i].substr(m[i].find('=') + 1);
      uint64_t* cible = m[i].rfind("after=", 0) == 0   ? &e.apres
                        : m[i].rfind("count=", 0) == 0 ? &e.nombre
                                                       : nullptr;
      if (cible == nullptr || !lireNombre(valeur, cible)) return refus("bad " + m[i]);
    }
    m_.echecs.push_back(e);
    return true;
  }

  // Declares a node at path, its missing ancestors as directories first.
  bool declarer(Noeud n, const std::string& chemin) {
    if (chemin.empty() || chemin[0] != '/') return refus("path must be absolute: " + chemin);
    std::string p = normaliser(chemin);
    if (p == "/") return refus("the root is always a directory");
    std::deque<std::string> parties = composants(p);
    std::vector<std::string> faits;
    for (size_t k = 0; k + 1 < parties.size(); ++k) {
      faits.push_back(parties[k]);
      std::string a = joindre(faits);
      auto it = m_.index.find(a);
      if (it == m_.index.end()) {
        Noeud d;
        d.implicite = true;
        ajouterNoeud(d, a);
      } else if (m_.noeuds[it->second].nature != Nature::repertoire) {
        return refus(a + " is not a directory");
      }
    }
    auto it = m_.index.find(p);
    if (it != m_.index.end()) {
      Noeud& ancien = m_.noeuds[it->second];
      if (n.nature == Nature::repertoire && ancien.nature == Nature::repertoire) {
        ancien.implicite = false;
        return true;
      }
      return refus(p + " declared twice");
    }
    ajouterNoeud(n, p);
    return true;
  }

  void ajouterNoeud(Noeud n, const std::string& chemin) {
    n.chemin = chemin;
    n.inode = m_.noeuds.size() + 1;
    m_.index[chemin] = m_.noeuds.size();
    if (chemin != "/") m_.enfants[parent(chemin)].push_back(m_.noeuds.size());
    m_.noeuds.push_back(n);
  }

  Machine& m_;
};

void brancher(T_AppelsSysteme& a) {
  a.open64 = simOpen64;
  a.close = simClose;
  a.read = simRead;
  a.write = simWrite;
  a.lseek64 = simLseek64;
  a.fsync = simFsync;
  a.ioctl = simIoctl;
  a.fcntl = simFcntl;
  a.lstat64 = simLstat64;
  a.stat64 = simStat64;
  a.fstat64 = simFstat64;
  a.access = simAccess;
  a.canonicalize_file_name = simCanonicalize;
  a.opendir = simOpendir;
  a.readdir64 = simReaddir64;
  a.closedir = simClosedir;
  a.glob64 = simGlob64;
  a.globfree64 = simGlobfree64;
  a.setmntent = simSetmntent;
  a.setfsent = simSetfsent;
  a.getfsent = simGetfsent;
  a.endfsent = simEndfsent;
  a.uname = simUname;
  a.gnu_get_libc_version = simGlibc;
  a.getuid = simGetuid;
  a.isatty = simIsatty;
  a.fork = simFork;
  a.execvp = simExecvp;
  a.openlog = simOpenlog;
  a.vsyslog = simVsyslog;
  a.sync = simSync;
  a.kill = simKill;
}

}  // namespace

bool installerMachine(const std::string& racine, std::string* erreur) {
  if (active != nullptr) {
    if (erreur != nullptr) *erreur = "a machine is already installed";
    return false;
  }
  std::error_code code;
  std::string absolue = std::filesystem::absolute(racine, code).lexically_normal().string();
  while (absolue.size() > 1 && absolue.back() == '/') absolue.pop_back();
  Machine* m = new Machine;
  m->racine = absolue;
  if (!Chargeur(*m).charger(erreur)) {
    delete m;
    return false;
  }
  active = m;
  m->sauvegarde = appelsSysteme;
  brancher(appelsSysteme);
  return true;
}

void retirerMachine() {
  if (active == nullptr) return;
  appelsSysteme = active->sauvegarde;
  for (const auto& o : active->ouverts) ::close(o.first);
  for (void* r : active->repertoires) delete static_cast<RepertoireSimule*>(r);
  if (active->fstab != nullptr) ::endmntent(active->fstab);
  delete active;
  active = nullptr;
}

bool machineInstallee() { return active != nullptr; }

std::string MachineTemporaire::nouveauDossier() {
  const char* tmp = getenv("TMPDIR");
  std::string modele = std::string(tmp && *tmp ? tmp : "/tmp") + "/lens_machine_XXXXXX";
  std::vector<char> t(modele.begin(), modele.end());
  t.push_back('\0');
  return mkdtemp(t.data()) != nullptr ? t.data() : "";
}

int MachineTemporaire::commande(const std::string& ligne) const {
  std::string c = "cd '" + racine_ + "' && { " + ligne + "; }";
  int r = system(c.c_str());
  return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}
