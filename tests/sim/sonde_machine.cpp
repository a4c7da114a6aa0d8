// Seam probe: prints what the installed seam answers for each path given.
#include <sys/sysmacros.h>

#include <cstdio>

#include "platform/linux/appels_systeme.h"

int main(int argc, char** argv) {
  struct utsname nom;
  if (appelsSysteme.uname(&nom) == 0) printf("release %s\n", nom.release);
  for (int i = 1; i < argc; ++i) {
    struct stat64 e;
    if (appelsSysteme.lstat64(argv[i], &e) != 0) {
      printf("%s: absent\n", argv[i]);
    } else if (S_ISBLK(e.st_mode)) {
      printf("%s: block %u:%u\n", argv[i], major(e.st_rdev), minor(e.st_rdev));
    } else {
      printf("%s: mode %o\n", argv[i], static_cast<unsigned>(e.st_mode & S_IFMT));
    }
  }
  return 0;
}
