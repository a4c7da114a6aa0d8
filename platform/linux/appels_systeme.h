// The one seam between the Linux layer and the C library's system interface.
// Every system call of platform/linux and of the Linux mains goes through
// appelsSysteme; tests swap entries and restore them. Entries start as the
// real functions (variadic ones through fixed-signature wrappers).
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <fstab.h>
#include <glob.h>
#include <mntent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <syslog.h>
#include <unistd.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <gnu/libc-version.h>

struct T_AppelsSysteme {
  // Files and devices. open64 never creates: the layer only opens.
  int (*open64)(const char* chemin, int drapeaux) = open64Reel;
  int (*close)(int fd) = ::close;
  ssize_t (*read)(int fd, void* tampon, size_t nombre) = ::read;
  ssize_t (*write)(int fd, const void* donnees, size_t nombre) = ::write;
  off64_t (*lseek64)(int fd, off64_t position, int origine) = ::lseek64;
  int (*fsync)(int fd) = ::fsync;
  int (*ioctl)(int fd, unsigned long requete, void* argument) = ioctlReel;
  int (*fcntl)(int fd, int commande, struct flock* verrou) = fcntlReel;
  // F_GETFL and F_SETFL, whose argument is an int.
  int (*fcntlDrapeaux)(int fd, int commande, int drapeaux) = fcntlDrapeauxReel;
  int (*lstat64)(const char* chemin, struct stat64* etat) = ::lstat64;
  int (*stat64)(const char* chemin, struct stat64* etat) = ::stat64;
  int (*fstat64)(int fd, struct stat64* etat) = ::fstat64;
  int (*access)(const char* chemin, int mode) = ::access;
  char* (*canonicalize_file_name)(const char* chemin) = ::canonicalize_file_name;
  int (*fflush)(FILE* flux) = ::fflush;

  // Directories and patterns.
  DIR* (*opendir)(const char* chemin) = ::opendir;
  struct dirent64* (*readdir64)(DIR* repertoire) = ::readdir64;
  int (*closedir)(DIR* repertoire) = ::closedir;
  int (*glob64)(const char* motif, int drapeaux, int (*erreur)(const char*, int),
                glob64_t* resultat) = ::glob64;
  void (*globfree64)(glob64_t* resultat) = ::globfree64;

  // Mount tables.
  FILE* (*setmntent)(const char* fichier, const char* mode) = ::setmntent;
  struct mntent* (*getmntent)(FILE* flux) = ::getmntent;
  int (*endmntent)(FILE* flux) = ::endmntent;
  int (*setfsent)() = ::setfsent;
  struct fstab* (*getfsent)() = ::getfsent;
  void (*endfsent)() = ::endfsent;

  // System facts and environment.
  int (*uname)(struct utsname* nom) = ::uname;
  const char* (*gnu_get_libc_version)() = ::gnu_get_libc_version;
  uid_t (*getuid)() = ::getuid;
  int (*isatty)(int fd) = ::isatty;
  char* (*getenv)(const char* nom) = ::getenv;
  int (*setenv)(const char* nom, const char* valeur, int remplacer) = ::setenv;
  char* (*setlocale)(int categorie, const char* locale) = ::setlocale;
  int (*sysinfo)(struct sysinfo* info) = ::sysinfo;
  int (*getrlimit64)(int ressource, struct rlimit64* limite) = ::getrlimit64;

  // Processes, signals and the system log.
  pid_t (*fork)() = ::fork;
  int (*execvp)(const char* programme, char* const arguments[]) = ::execvp;
  void (*openlog)(const char* identite, int options, int categorie) = ::openlog;
  void (*vsyslog)(int priorite, const char* format, va_list arguments) = ::vsyslog;
  void (*sync)() = ::sync;
  int (*kill)(pid_t processus, int numero) = ::kill;
  int (*raise)(int numero) = ::raise;
  sighandler_t (*signal)(int numero, sighandler_t traitement) = ::signal;

  // Time and waits.
  unsigned (*sleep)(unsigned secondes) = ::sleep;
  int (*select)(int nombre, fd_set* lecture, fd_set* ecriture, fd_set* exceptions,
                struct timeval* delai) = ::select;
  time_t (*time)(time_t* resultat) = ::time;
  struct tm* (*localtime)(const time_t* instant) = ::localtime;
  int (*gettimeofday)(struct timeval* instant) = gettimeofdayReel;

  static int open64Reel(const char* chemin, int drapeaux);
  static int ioctlReel(int fd, unsigned long requete, void* argument);
  static int fcntlReel(int fd, int commande, struct flock* verrou);
  static int fcntlDrapeauxReel(int fd, int commande, int drapeaux);
  static int gettimeofdayReel(struct timeval* instant);
};

extern T_AppelsSysteme appelsSysteme;
