#include "platform/linux/heure.h"

#include "core/arbre_appel.h"
#include "platform/linux/appels_systeme.h"

namespace {

// Seconds east of UTC.
int32_t decalageHoraire = 0;
const uint64_t TEMPS_MAX = 0xFFFFFFFFULL;

// t + d when both t and the result stay within 0 to TEMPS_MAX, except that
// a move towards 0 only needs the result not to pass below 0.
uint64_t decaler(uint64_t t, int64_t d) {
  TRACER_APPEL();
  if (d > 0) {
    uint64_t a = static_cast<uint64_t>(d);
    return t <= TEMPS_MAX && t + a <= TEMPS_MAX ? t + a : t;
  }
  if (d < 0) {
    uint64_t a = static_cast<uint64_t>(-d);
    return a <= t ? t - a : t;
  }
  return t;
}

}  // namespace

void initialiserDecalageHoraire() {
  TRACER_APPEL();
  decalageHoraire = 0;
  time_t maintenant = appelsSysteme.time(nullptr);
  if (maintenant == static_cast<time_t>(-1)) return;
  struct tm* local = appelsSysteme.localtime(&maintenant);
  if (local != nullptr) decalageHoraire = static_cast<int32_t>(local->tm_gmtoff);
}

void fixerDecalageHoraire(int32_t decalage) { decalageHoraire = decalage; }

int64_t heureCourante() { return static_cast<int64_t>(appelsSysteme.time(nullptr)); }

uint64_t versHeureLocale(uint64_t temps) {
  TRACER_APPEL();
  return decaler(temps, decalageHoraire);
}

uint64_t versHeureUniverselle(uint64_t temps) {
  TRACER_APPEL();
  return decaler(temps, -static_cast<int64_t>(decalageHoraire));
}

uint64_t millisecondes() {
  TRACER_APPEL();
  struct timeval instant;
  if (appelsSysteme.gettimeofday(&instant) != 0) return 0;
  uint64_t micro = static_cast<uint64_t>(instant.tv_sec) * 1000000ULL +
                   static_cast<uint64_t>(instant.tv_usec);
  return micro / 1000;
}
