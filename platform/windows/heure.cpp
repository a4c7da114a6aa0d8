#include "platform/windows/heure.h"

#include <windows.h>

#include <ctime>

#include "core/arbre_appel.h"
#include "platform/windows/appels_windows.h"

namespace {

// Seconds east of UTC.
int32_t decalage = 0;
const uint64_t TEMPS_MAX = 0xFFFFFFFFULL;

// 100 ns intervals from 1601-01-01 to 1970-01-01, and per second.
const uint64_t ECART_1601 = 116444736000000000ULL;
const uint64_t ECART_1601_SECONDES = 11644473600ULL;
const uint64_t INTERVALLES_PAR_SECONDE = 10000000ULL;
// Beyond: more than 0xFFFFFFFF seconds after 1970.
const uint64_t INTERVALLES_MAX = 0x0098967FFFFFFFFFULL;
// The DOS range: 1980-01-01 00:00:00 to 2107-12-31 23:59:59.
const uint64_t DEBUT_DOS = 315532800ULL;
const uint64_t FIN_DOS = 4354819199ULL;

uint64_t decaler(uint64_t t, int64_t d) {
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

// Minutes west of UTC as seconds east, when that fits the offset.
bool versSecondes(int64_t minutes, int32_t* secondes) {
  TRACER_APPEL();
  int64_t s = -minutes * 60;
  if (s < INT32_MIN || s > INT32_MAX) return false;
  *secondes = static_cast<int32_t>(s);
  return true;
}

}  // namespace

void initialiserDecalageHoraire() {
  TRACER_APPEL();
  decalage = 0;
  TIME_ZONE_INFORMATION zone = {};
  DWORD reponse = appelsWindows.GetTimeZoneInformation(&zone);
  int64_t biais = zone.Bias;
  switch (reponse) {
    // A zone without daylight saving answers "unknown": its bias still holds.
    case TIME_ZONE_ID_UNKNOWN:
    case TIME_ZONE_ID_STANDARD:
      break;
    case TIME_ZONE_ID_DAYLIGHT:
      biais += zone.DaylightBias;
      break;
    default:
      return;
  }
  versSecondes(biais, &decalage);
}

void fixerDecalageHoraire(int32_t valeur) { decalage = valeur; }

int32_t decalageHoraire() { return decalage; }

// Seconds since 1970 from the system clock (the C runtime's 64-bit time is
// missing from the runtimes of Windows 95 and NT 4).
int64_t heureCourante() {
  FILETIME t;
  appelsWindows.GetSystemTimeAsFileTime(&t);
  uint64_t intervalles = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  if (intervalles < ECART_1601) return -static_cast<int64_t>((ECART_1601 - intervalles) / INTERVALLES_PAR_SECONDE);
  return static_cast<int64_t>((intervalles - ECART_1601) / INTERVALLES_PAR_SECONDE);
}

uint64_t versHeureLocale(uint64_t temps) {
  TRACER_APPEL();
  return decaler(temps, decalage);
}

uint64_t versHeureUniverselle(uint64_t temps) {
  TRACER_APPEL();
  return decaler(temps, -static_cast<int64_t>(decalage));
}

uint64_t millisecondes() {
  TRACER_APPEL();
  return static_cast<uint64_t>(appelsWindows.GetTickCount());
}

uint64_t dateDosVersTemps(uint16_t heureDos, uint16_t dateDos) {
  TRACER_APPEL();
  FILETIME f;
  uint64_t t = 0;
  if (appelsWindows.DosDateTimeToFileTime(dateDos, heureDos, &f)) {
    uint64_t intervalles = (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    uint64_t depuis1970 = intervalles - ECART_1601;
    if (depuis1970 <= INTERVALLES_MAX) t = intervalles / INTERVALLES_PAR_SECONDE - ECART_1601_SECONDES;
  }
  return versHeureUniverselle(t);
}

void tempsVersDateDos(uint64_t temps, uint16_t* heureDos, uint16_t* dateDos) {
  TRACER_APPEL();
  *heureDos = 0;
  *dateDos = 0;
  // Not every system refuses a year it cannot hold: some wrap it.
  if (temps < DEBUT_DOS || temps > FIN_DOS) return;
  uint64_t intervalles = temps * INTERVALLES_PAR_SECONDE + ECART_1601;
  FILETIME f;
  f.dwLowDateTime = static_cast<DWORD>(intervalles);
  f.dwHighDateTime = static_cast<DWORD>(intervalles >> 32);
  WORD date = 0, heure = 0;
  if (!appelsWindows.FileTimeToDosDateTime(&f, &date, &heure)) return;
  *heureDos = heure;
  *dateDos = date;
}
