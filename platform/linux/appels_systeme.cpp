#include "platform/linux/appels_systeme.h"

#include <sys/ioctl.h>

T_AppelsSysteme appelsSysteme;

int T_AppelsSysteme::open64Reel(const char* chemin, int drapeaux) {
  return ::open64(chemin, drapeaux);
}

int T_AppelsSysteme::ioctlReel(int fd, unsigned long requete, void* argument) {
  return ::ioctl(fd, requete, argument);
}

int T_AppelsSysteme::fcntlReel(int fd, int commande, struct flock* verrou) {
  return ::fcntl(fd, commande, verrou);
}

int T_AppelsSysteme::fcntlDrapeauxReel(int fd, int commande, int drapeaux) {
  return ::fcntl(fd, commande, drapeaux);
}

int T_AppelsSysteme::gettimeofdayReel(struct timeval* instant) {
  return ::gettimeofday(instant, nullptr);
}
