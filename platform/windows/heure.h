// Times: unsigned seconds since 1970 UTC, and a process-wide offset to local
// time. A shift that would leave 0 to 0xFFFFFFFF is not applied. DOS dates
// go through the system's FILETIME.
#pragma once
#include <cstdint>

#include "storage/plateforme.h"

// The offset from the system's time zone.
void initialiserDecalageHoraire();
void fixerDecalageHoraire(int32_t decalage);
int32_t decalageHoraire();
int64_t heureCourante();
uint64_t versHeureLocale(uint64_t temps);
// versHeureUniverselle is declared for the storage model.
// Milliseconds since the system started, wrapping every 2^32.
uint64_t millisecondes();

// A DOS time and date (local time) as seconds since 1970 UTC; 0 before the
// shift for a date the system refuses.
uint64_t dateDosVersTemps(uint16_t heureDos, uint16_t dateDos);
// Seconds since 1970 as a DOS time and date, without a shift; 0 and 0
// outside 1980-01-01 to 2107-12-31.
void tempsVersDateDos(uint64_t temps, uint16_t* heureDos, uint16_t* dateDos);
