// The simulated machine itself: nodes and names, block devices over image
// windows, injected failures, the files below the root, and a twin.
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/appels_systeme.h"
#include "sim/machine_linux.h"

namespace {

T_AppelsSysteme& s = appelsSysteme;

mode_t nature(const char* chemin, bool suivre = false) {
  struct stat64 e;
  int r = suivre ? s.stat64(chemin, &e) : s.lstat64(chemin, &e);
  return r == 0 ? (e.st_mode & S_IFMT) : 0;
}

std::vector<std::string> liste(const char* repertoire) {
  std::vector<std::string> r;
  DIR* d = s.opendir(repertoire);
  if (d == nullptr) return {"<" + std::string(strerror(errno)) + ">"};
  while (struct dirent64* e = s.readdir64(d)) r.push_back(e->d_name);
  s.closedir(d);
  return r;
}

std::string canonique(const char* chemin) {
  char* c = s.canonicalize_file_name(chemin);
  if (c == nullptr) return "<" + std::string(strerror(errno)) + ">";
  std::string r = c;
  free(c);
  return r;
}

void journal(int priorite, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  s.vsyslog(priorite, format, arguments);
  va_end(arguments);
}

class Machine : public testing::Test {
 protected:
  void installer(const std::string& directives) {
    m_.machine(directives);
    ASSERT_TRUE(m_.installer()) << m_.erreur();
  }
  MachineTemporaire m_;
};

TEST_F(Machine, NoeudsLiensEtRepertoires) {
  m_.image("images/d.img", 1 << 20);
  m_.ecrire("etc/fstab", "/dev/sda1 / ext4 rw 0 1\n");
  m_.ecrire("dev/reel", "x");
  installer(
      "block /dev/sda 8:0 images/d.img\n"
      "chr /dev/fuse 10:229   # a comment\n"
      "link /dev/disk/by-id/ata-X ../../sda\n"
      "link /dev/boucle /dev/boucle\n"
      "dir /dev/vide\n");
  struct stat64 e;
  ASSERT_EQ(s.lstat64("/dev/sda", &e), 0);
  EXPECT_TRUE(S_ISBLK(e.st_mode));
  EXPECT_EQ(major(e.st_rdev), 8u);
  EXPECT_EQ(minor(e.st_rdev), 0u);
  EXPECT_EQ(nature("/dev/fuse"), S_IFCHR);
  EXPECT_EQ(nature("/dev/disk/by-id/ata-X"), S_IFLNK);
  EXPECT_EQ(nature("/dev/disk/by-id/ata-X", true), S_IFBLK);
  EXPECT_EQ(nature("/dev/disk"), S_IFDIR);  // implicit
  EXPECT_EQ(nature("/etc/fstab"), S_IFREG);
  EXPECT_EQ(s.lstat64("/etc/mtab", &e), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(s.lstat64("/dev/sda/x", &e), -1);
  EXPECT_EQ(errno, ENOTDIR);
  EXPECT_EQ(s.stat64("/dev/boucle", &e), -1);
  EXPECT_EQ(errno, ELOOP);

  EXPECT_EQ(liste("/dev"),
            (std::vector<std::string>{".", "..", "sda", "fuse", "disk", "boucle", "vide", "reel"}));
  EXPECT_EQ(liste("/dev/disk/by-id"), (std::vector<std::string>{".", "..", "ata-X"}));
  EXPECT_EQ(liste("/dev/sda"), (std::vector<std::string>{"<Not a directory>"}));
  EXPECT_EQ(canonique("/dev/disk/by-id/ata-X"), "/dev/sda");
  EXPECT_EQ(canonique("/dev//disk/./by-id/../by-id/ata-X"), "/dev/sda");
  EXPECT_EQ(canonique("/dev/absent"), "<No such file or directory>");

  EXPECT_EQ(s.access("/dev/sda", W_OK), 0);
  EXPECT_EQ(s.access("/etc/fstab", R_OK), 0);
  EXPECT_EQ(s.access("/etc/absent", F_OK), -1);
}

// A name that is not a directory cannot end in '/': every call that takes a
// path answers ENOTDIR, links included, as a real kernel does.
TEST_F(Machine, BarreFinaleApresUnNonRepertoire) {
  m_.image("d.img", 4096);
  m_.ecrire("etc/fstab", "");
  ASSERT_EQ(symlink("fstab", m_.chemin("etc/lien").c_str()), 0);
  installer(
      "block /dev/sda 8:0 d.img\n"
      "chr /dev/null 1:3\n"
      "link /dev/disk/by-id/ata-X ../../sda\n"
      "dir /dev/vide\n"
      "link /dev/vers-vide vide\n");
  const struct {
    const char* chemin;
    int erreur;
    const char* canonique;
  } cas[] = {
      {"/dev/sda/", ENOTDIR, nullptr},
      {"/dev/sda//", ENOTDIR, nullptr},
      {"/dev/sda/.", ENOTDIR, nullptr},
      {"/dev/null/", ENOTDIR, nullptr},
      {"/dev/disk/by-id/ata-X/", ENOTDIR, nullptr},
      {"/etc/fstab/", ENOTDIR, nullptr},
      {"/etc/lien/", ENOTDIR, nullptr},
      {"/dev/absent/", ENOENT, nullptr},
      {"/dev/vide/", 0, "/dev/vide"},
      {"/dev/vers-vide/", 0, "/dev/vide"},  // the link is followed, even by lstat
      {"/etc/", 0, "/etc"},
      {"/dev/sda", 0, "/dev/sda"},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.chemin);
    struct stat64 e;
    errno = 0;
    EXPECT_EQ(s.stat64(c.chemin, &e) == 0 ? 0 : errno, c.erreur);
    errno = 0;
    int r = s.lstat64(c.chemin, &e);
    EXPECT_EQ(r == 0 ? 0 : errno, c.erreur);
    if (r == 0 && c.chemin[strlen(c.chemin) - 1] == '/') {
      EXPECT_TRUE(S_ISDIR(e.st_mode));
    }
    errno = 0;
    int fd = s.open64(c.chemin, O_RDONLY | O_NOFOLLOW);
    EXPECT_EQ(fd >= 0 ? 0 : errno, c.erreur);
    if (fd >= 0) s.close(fd);
    EXPECT_EQ(canonique(c.chemin),
              c.canonique ? c.canonique : "<" + std::string(strerror(c.erreur)) + ">");
    errno = 0;
    DIR* d = s.opendir(c.chemin);
    bool repertoire = c.erreur == 0 && strcmp(c.chemin, "/dev/sda") != 0;
    EXPECT_EQ(d != nullptr, repertoire);
    if (d != nullptr) s.closedir(d);
    if (!repertoire) {
      EXPECT_EQ(errno, c.erreur ? c.erreur : ENOTDIR);
    }
  }
}

TEST_F(Machine, LiaisonGardeLIdentite) {
  m_.image("d.img", 4096);
  installer("block /dev/sda 8:0 d.img\nbind /dev/retour /dev\n");
  struct stat64 a, b;
  ASSERT_EQ(s.lstat64("/dev", &a), 0);
  ASSERT_EQ(s.lstat64("/dev/retour", &b), 0);
  EXPECT_TRUE(S_ISDIR(b.st_mode));
  EXPECT_EQ(a.st_dev, b.st_dev);
  EXPECT_EQ(a.st_ino, b.st_ino);
  ASSERT_EQ(s.lstat64("/dev/retour/retour/sda", &b), 0);
  EXPECT_TRUE(S_ISBLK(b.st_mode));
}

TEST_F(Machine, PeripheriqueBlocSurUneFenetre) {
  std::vector<char> octets(8192);
  for (size_t i = 0; i < octets.size(); ++i) octets[i] = static_cast<char>(i / 512);
  m_.ecrire("d.img", std::string(octets.begin(), octets.end()));
  installer(
      "block /dev/sda 8:0 d.img geo=16/32/100/0 ssz=4096\n"
      "block /dev/sda1 8:1 d.img offset=1024 size=2048\n"
      "block /dev/loop0 7:0 d.img ssz=none geo=none ro busy\n");
  int fd = s.open64("/dev/sda1", O_RDWR);
  ASSERT_GE(fd, 0);
  char t[4096];
  EXPECT_EQ(s.read(fd, t, sizeof t), 2048);  // the window ends there
  EXPECT_EQ(t[0], 2);
  EXPECT_EQ(t[2047], 5);
  EXPECT_EQ(s.read(fd, t, sizeof t), 0);
  EXPECT_EQ(s.lseek64(fd, 2049, SEEK_SET), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(s.lseek64(fd, -512, SEEK_END), 1536);
  EXPECT_EQ(s.write(fd, "ABCD", 4), 4);
  EXPECT_EQ(m_.lire("d.img").substr(1024 + 1536, 4), "ABCD");
  EXPECT_EQ(s.lseek64(fd, 0, SEEK_END), 2048);
  EXPECT_EQ(s.write(fd, "E", 1), -1);
  EXPECT_EQ(errno, ENOSPC);

  int ssz = 0;
  uint64_t octetsTotal = 0;
  unsigned long secteurs = 0;
  struct hd_geometry g;
  EXPECT_EQ(s.ioctl(fd, BLKSSZGET, &ssz), 0);
  EXPECT_EQ(ssz, 512);
  EXPECT_EQ(s.ioctl(fd, BLKGETSIZE64, &octetsTotal), 0);
  EXPECT_EQ(octetsTotal, 2048u);
  EXPECT_EQ(s.ioctl(fd, BLKGETSIZE, &secteurs), 0);
  EXPECT_EQ(secteurs, 4u);
  ASSERT_EQ(s.ioctl(fd, HDIO_GETGEO, &g), 0);
  EXPECT_EQ(g.heads, 255);
  EXPECT_EQ(g.sectors, 63);
  EXPECT_EQ(g.cylinders, 0);
  EXPECT_EQ(g.start, 2u);  // offset / 512
  EXPECT_EQ(s.ioctl(fd, 0x5401, &ssz), -1);
  EXPECT_EQ(errno, ENOTTY);
  struct stat64 e;
  ASSERT_EQ(s.fstat64(fd, &e), 0);
  EXPECT_EQ(e.st_rdev, makedev(8, 1));
  EXPECT_EQ(s.close(fd), 0);

  fd = s.open64("/dev/sda", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(s.ioctl(fd, BLKSSZGET, &ssz), 0);
  EXPECT_EQ(ssz, 4096);
  ASSERT_EQ(s.ioctl(fd, HDIO_GETGEO, &g), 0);
  EXPECT_EQ(g.heads, 16);
  EXPECT_EQ(g.sectors, 32);
  EXPECT_EQ(g.cylinders, 100);
  EXPECT_EQ(s.write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EBADF);
  // A second exclusive open of one device is refused, as by the kernel.
  int x = s.open64("/dev/sda", O_RDONLY | O_EXCL);
  ASSERT_GE(x, 0);
  EXPECT_EQ(s.open64("/dev/sda", O_RDONLY | O_EXCL), -1);
  EXPECT_EQ(errno, EBUSY);
  s.close(x);
  x = s.open64("/dev/sda", O_RDONLY | O_EXCL);
  EXPECT_GE(x, 0);
  s.close(x);
  s.close(fd);

  EXPECT_EQ(s.open64("/dev/loop0", O_RDWR), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(s.open64("/dev/loop0", O_RDONLY | O_EXCL), -1);
  EXPECT_EQ(errno, EBUSY);
  fd = s.open64("/dev/loop0", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(s.ioctl(fd, BLKSSZGET, &ssz), -1);
  EXPECT_EQ(s.ioctl(fd, HDIO_GETGEO, &g), -1);
  EXPECT_EQ(s.access("/dev/loop0", W_OK), -1);
  s.close(fd);
}

TEST_F(Machine, ValeursParDefaut) {
  m_.image("moyen.img", 100ULL << 30);  // sparse
  m_.image("grand.img", 1ULL << 40);
  m_.ecrire("etc/fstab.d/vrai", "/dev/sda1 / ext4 rw 0 1\n");
  ASSERT_EQ(symlink("/etc/fstab.d/vrai", m_.chemin("etc/fstab").c_str()), 0);
  installer("block /dev/sda1 8:1 moyen.img offset=1M\nblock /dev/sdb 8:16 grand.img\n");
  struct utsname u;
  ASSERT_EQ(s.uname(&u), 0);
  EXPECT_STREQ(u.release, "6.1.0");
  EXPECT_STREQ(s.gnu_get_libc_version(), gnu_get_libc_version());
  EXPECT_EQ(s.getuid(), 0u);
  EXPECT_EQ(s.isatty(0), 0);
  EXPECT_EQ(s.isatty(1), 0);

  struct {
    const char* chemin;
    uint64_t taille;
    unsigned cylindres;
    unsigned long debut;
  } cas[] = {
      {"/dev/sda1", (100ULL << 30) - (1 << 20), 13054, 2048},  // to the end of the image
      {"/dev/sdb", 1ULL << 40, 65535, 0},                      // cylinders capped
  };
  for (auto& c : cas) {
    int fd = s.open64(c.chemin, O_RDONLY);
    ASSERT_GE(fd, 0);
    int ssz = 0;
    uint64_t taille = 0;
    struct hd_geometry g;
    EXPECT_EQ(s.ioctl(fd, BLKSSZGET, &ssz), 0);
    EXPECT_EQ(ssz, 512);
    EXPECT_EQ(s.ioctl(fd, BLKGETSIZE64, &taille), 0);
    EXPECT_EQ(taille, c.taille);
    ASSERT_EQ(s.ioctl(fd, HDIO_GETGEO, &g), 0);
    EXPECT_EQ(g.heads, 255);
    EXPECT_EQ(g.sectors, 63);
    EXPECT_EQ(g.cylinders, c.cylindres) << c.chemin;
    EXPECT_EQ(g.start, c.debut) << c.chemin;
    s.close(fd);
  }

  // /etc/fstab is a machine path like any other: its link stays inside.
  ASSERT_EQ(s.setfsent(), 1);
  struct fstab* t = s.getfsent();
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->fs_spec, "/dev/sda1");
  s.endfsent();
}

TEST_F(Machine, EchecsInjectes) {
  m_.image("d.img", 4096);
  installer(
      "block /dev/sda 8:0 d.img\n"
      "link /dev/disk/by-id/x /dev/sda\n"
      "fail read /dev/sda EINTR count=2\n"
      "fail seek /dev/sda 5 after=1\n"
      "fail HDIO_GETGEO /dev/sda EIO\n"
      "fail open /dev/disk/by-id/x EACCES\n"
      "fail opendir /dev/disk 13\n");
  int fd = s.open64("/dev/sda", O_RDONLY);
  ASSERT_GE(fd, 0);
  char t[16];
  EXPECT_EQ(s.read(fd, t, 16), -1);
  EXPECT_EQ(errno, EINTR);
  EXPECT_EQ(s.read(fd, t, 16), -1);
  EXPECT_EQ(s.read(fd, t, 16), 16);
  EXPECT_EQ(s.lseek64(fd, 0, SEEK_SET), 0);
  EXPECT_EQ(s.lseek64(fd, 0, SEEK_SET), -1);
  EXPECT_EQ(errno, EIO);
  struct hd_geometry g;
  EXPECT_EQ(s.ioctl(fd, HDIO_GETGEO, &g), -1);
  uint64_t taille;
  EXPECT_EQ(s.ioctl(fd, BLKGETSIZE64, &taille), 0);
  s.close(fd);
  // A rule names the path as given or as resolved.
  EXPECT_EQ(s.open64("/dev/disk/by-id/x", O_RDONLY), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(s.opendir("/dev/disk"), nullptr);
  EXPECT_EQ(errno, EACCES);
}

TEST_F(Machine, MotifsEtFichiersDuSysteme) {
  m_.image("d.img", 4096);
  m_.ecrire("proc/mounts", "/dev/sda1 / ext4 rw 0 0\n");
  m_.ecrire("etc/fstab", "# x\nUUID=1234 / ext4 defaults,rw 0 1\n/dev/sda2 none swap sw 0 0\n");
  installer(
      "block /dev/sda 8:0 d.img\nblock /dev/sda1 8:1 d.img\nblock /dev/sda10 8:10 d.img\n"
      "block /dev/sdab 65:176 d.img\nuname 2.6.32-5-amd64\nglibc 2.1.99\nuid 1000\ntty yes\n");
  glob64_t g;
  ASSERT_EQ(s.glob64("/dev/sda*", 0, nullptr, &g), 0);
  std::vector<std::string> trouves(g.gl_pathv, g.gl_pathv + g.gl_pathc);
  EXPECT_EQ(trouves, (std::vector<std::string>{"/dev/sda", "/dev/sda1", "/dev/sda10", "/dev/sdab"}));
  s.globfree64(&g);
  EXPECT_EQ(s.glob64("/dev/sdz*", GLOB_NOSORT, nullptr, &g), GLOB_NOMATCH);

  FILE* f = s.setmntent("/proc/mounts", "r");
  ASSERT_NE(f, nullptr);
  struct mntent* e = s.getmntent(f);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->mnt_fsname, "/dev/sda1");
  s.endmntent(f);
  EXPECT_EQ(s.setmntent("/etc/mtab", "r"), nullptr);

  ASSERT_EQ(s.setfsent(), 1);
  struct fstab* t = s.getfsent();
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->fs_spec, "UUID=1234");
  EXPECT_STREQ(t->fs_type, "rw");
  t = s.getfsent();
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->fs_type, "sw");
  EXPECT_EQ(s.getfsent(), nullptr);
  s.endfsent();

  struct utsname u;
  ASSERT_EQ(s.uname(&u), 0);
  EXPECT_STREQ(u.release, "2.6.32-5-amd64");
  EXPECT_STREQ(s.gnu_get_libc_version(), "2.1.99");
  EXPECT_EQ(s.getuid(), 1000u);
  EXPECT_EQ(s.isatty(0), 1);
  EXPECT_EQ(s.kill(1, SIGINT), 0);  // init is never signalled
}

TEST_F(Machine, RelanceEtJournal) {
  installer("fail exec missing-term ENOENT\n");
  EXPECT_EQ(s.isatty(1), 0);
  s.openlog(nullptr, 0, 0);
  char message[] = "Unable to launch terminal:";
  char* vecteur[] = {message, nullptr};
  EXPECT_EQ(s.fork(), 0);
  EXPECT_EQ(s.execvp("missing-term", vecteur), -1);
  EXPECT_EQ(errno, ENOENT);
  journal(0x43, "%s\n%s", "two", "lines");
  EXPECT_EQ(m_.lire("exec.log"), "Unable to launch terminal:\n");
  EXPECT_EQ(m_.lire("syslog.log"), "<67>two\nlines\n");
  char xterm[] = "xterm", e[] = "-e", prog[] = "/bin/tablens";
  char* relance[] = {xterm, e, prog, nullptr};
  EXPECT_EXIT(s.execvp("xterm", relance), testing::ExitedWithCode(0), "");
}

TEST_F(Machine, DirectivesRefusees) {
  m_.image("d.img", 1024);
  struct Cas {
    const char* ligne;
    const char* raison;
  } cas[] = {
      {"block /dev/sda 8:0 absent.img", "is not a file"},
      {"block /dev/sda 8:0 d.img offset=2048", "offset beyond"},
      {"block /dev/sda 8:0 d.img offset=512 size=1K", "window beyond"},
      {"block /dev/sda 8 d.img", "bad device number"},
      {"block /dev/sda 8:0 d.img geo=1/2/3", "bad geo"},
      {"block dev/sda 8:0 d.img", "must be absolute"},
      {"frobnicate", "unknown directive"},
      {"fail read /dev/sda EWHAT", "bad errno"},
      {"tty maybe", "tty yes|no"},
  };
  for (const Cas& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 1024);
    m.machine(std::string("# first\n") + c.ligne);
    EXPECT_FALSE(m.installer()) << c.ligne;
    EXPECT_NE(m.erreur().find("machine:2: "), std::string::npos) << m.erreur();
    EXPECT_NE(m.erreur().find(c.raison), std::string::npos) << m.erreur();
    EXPECT_FALSE(machineInstallee());
  }
  m_.machine("block /dev/sda 8:0 d.img\nblock /dev/sda 8:0 d.img\n");
  EXPECT_FALSE(m_.installer());
  EXPECT_NE(m_.erreur().find("declared twice"), std::string::npos);
}

// A partitioned image made by the real tools: the partition nodes read the
// file systems the tools wrote.
TEST_F(Machine, ImageFaiteParLesOutils) {
  m_.image("disque.img", 8 << 20);
  if (m_.commande("printf 'start=2048, size=4096, type=c\\nstart=6144, type=83\\n' | "
                  "sfdisk -q disque.img >/dev/null 2>&1 && "
                  "mkfs.fat --offset 2048 -n SIM disque.img 2048 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "sfdisk or mkfs.fat not available";
  installer(
      "block /dev/sda 8:0 disque.img\n"
      "block /dev/sda1 8:1 disque.img offset=1M size=2M\n"
      "block /dev/sda2 8:2 disque.img offset=3M\n");
  unsigned char secteur[512];
  int fd = s.open64("/dev/sda", O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(s.read(fd, secteur, 512), 512);
  EXPECT_EQ(secteur[510], 0x55);
  EXPECT_EQ(secteur[446 + 4], 0x0c);
  s.close(fd);
  fd = s.open64("/dev/sda1", O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(s.read(fd, secteur, 512), 512);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(secteur) + 3, 8), "mkfs.fat");
  s.close(fd);
  fd = s.open64("/dev/sda2", O_RDONLY);
  uint64_t taille = 0;
  EXPECT_EQ(s.ioctl(fd, BLKGETSIZE64, &taille), 0);
  EXPECT_EQ(taille, 5u << 20);
  s.close(fd);
}

#ifdef LENS_SONDE_MACHINE
std::string executer(const std::string& commande, int* statut) {
  std::string sortie;
  FILE* p = popen(commande.c_str(), "r");
  if (p == nullptr) return sortie;
  char tampon[256];
  while (size_t n = fread(tampon, 1, sizeof tampon, p)) sortie.append(tampon, n);
  int r = pclose(p);
  *statut = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
  return sortie;
}

TEST(MachineJumeau, LeJumeauVoitLaMachine) {
  MachineTemporaire m;
  m.image("d.img", 4096);
  m.machine("block /dev/nvme0n1 259:0 d.img\nuname 3.2\n");
  int statut = -1;
  std::string sortie = executer("LENS_MACHINE='" + m.racine() + "' " LENS_SONDE_MACHINE
                                " /dev/nvme0n1 /dev/sda 2>&1", &statut);
  EXPECT_EQ(statut, 0);
  EXPECT_EQ(sortie, "release 3.2\n/dev/nvme0n1: block 259:0\n/dev/sda: absent\n");

  sortie = executer("env -u LENS_MACHINE " LENS_SONDE_MACHINE " 2>&1", &statut);
  EXPECT_EQ(statut, 2);
  EXPECT_EQ(sortie, "simulation: LENS_MACHINE is not set\n");
  m.machine("bogus\n");
  sortie = executer("LENS_MACHINE='" + m.racine() + "' " LENS_SONDE_MACHINE " 2>&1", &statut);
  EXPECT_EQ(statut, 2);
  EXPECT_EQ(sortie, "simulation: machine:3: unknown directive bogus\n");
}
#endif

}  // namespace
