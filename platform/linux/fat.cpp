// DOS date and time words on Linux: the calendar computed in 64 bits rather
// than through timegm and gmtime, whose 32-bit time_t ends in 2038 on i386.
#include "storage/fat.h"

#include "core/arbre_appel.h"
#include "storage/plateforme.h"

namespace {

const uint64_t SECONDES_PAR_JOUR = 86400;
const uint64_t DEBUT_DOS = 315532800;  // 1980-01-01 00:00:00
const int64_t DERNIERE_ANNEE_DOS = 1980 + 127;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t joursDepuis1970(int64_t annee, unsigned mois, unsigned jour) {
  TRACER_APPEL();
  annee -= mois <= 2 ? 1 : 0;
  int64_t ere = (annee >= 0 ? annee : annee - 399) / 400;
  unsigned anneeEre = static_cast<unsigned>(annee - ere * 400);
  unsigned jourAnnee = (153 * (mois > 2 ? mois - 3 : mois + 9) + 2) / 5 + jour - 1;
  unsigned jourEre = anneeEre * 365 + anneeEre / 4 - anneeEre / 100 + jourAnnee;
  return ere * 146097 + static_cast<int64_t>(jourEre) - 719468;
}

// The date of a day counted from 1970-01-01 (0 or later).
void dateDuJour(int64_t jours, int64_t* annee, unsigned* mois, unsigned* jour) {
  TRACER_APPEL();
  jours += 719468;
  int64_t ere = jours / 146097;
  unsigned jourEre = static_cast<unsigned>(jours - ere * 146097);
  unsigned anneeEre = (jourEre - jourEre / 1460 + jourEre / 36524 - jourEre / 146096) / 365;
  unsigned jourAnnee = jourEre - (365 * anneeEre + anneeEre / 4 - anneeEre / 100);
  unsigned m = (5 * jourAnnee + 2) / 153;
  *jour = jourAnnee - (153 * m + 2) / 5 + 1;
  *mois = m < 10 ? m + 3 : m - 9;
  *annee = static_cast<int64_t>(anneeEre) + ere * 400 + (*mois <= 2 ? 1 : 0);
}

}  // namespace

uint64_t dateDosVersTemps(uint16_t heure, uint16_t date) {
  TRACER_APPEL();
  unsigned secondes = (heure & 0x1F) * 2u;
  unsigned minutes = (heure >> 5) & 0x3F;
  unsigned heures = (heure >> 11) & 0x1F;
  unsigned jour = date & 0x1F;
  if (jour == 0) jour = 1;
  unsigned mois = (date >> 5) & 0x0F;  // 1 to 15; 0 is January
  mois = mois == 0 ? 0 : mois - 1;
  int64_t annee = 1980 + (date >> 9);
  // Months 13 to 15, day 31 of a short month and hours past 23 run on into
  // the next units, as a calendar normalisation does.
  annee += mois / 12;
  mois %= 12;
  int64_t jours = joursDepuis1970(annee, mois + 1, 1) + (jour - 1);
  uint64_t temps = static_cast<uint64_t>(jours) * SECONDES_PAR_JOUR + heures * 3600u +
                   minutes * 60u + secondes;
  // The words hold local time.
  return versHeureUniverselle(temps);
}

void tempsVersDateDos(uint64_t temps, uint16_t* heure, uint16_t* date) {
  TRACER_APPEL();
  *heure = 0;
  *date = 0;
  if (temps <= DEBUT_DOS) return;
  int64_t annee;
  unsigned mois, jour;
  dateDuJour(static_cast<int64_t>(temps / SECONDES_PAR_JOUR), &annee, &mois, &jour);
  // Past 2107 the year does not fit in its seven bits.
  if (annee > DERNIERE_ANNEE_DOS) return;
  unsigned dansJour = static_cast<unsigned>(temps % SECONDES_PAR_JOUR);
  unsigned heures = dansJour / 3600, minutes = dansJour / 60 % 60, secondes = dansJour % 60;
  *heure = static_cast<uint16_t>((heures << 11) | ((minutes << 5) & 0x7E0) | ((secondes >> 1) & 0x1F));
  *date = static_cast<uint16_t>((static_cast<unsigned>(annee - 1980) << 9) | ((mois << 5) & 0x1E0) |
                                (jour & 0x1F));
}
