// Times: unsigned seconds since 1970 UTC, and a process-wide offset to local
// time. A shift that would leave 0 to 0xFFFFFFFF is not applied.
#pragma once
#include <cstdint>

#include "storage/plateforme.h"

void initialiserDecalageHoraire();
void fixerDecalageHoraire(int32_t decalage);
int64_t heureCourante();
uint64_t versHeureLocale(uint64_t temps);
// versHeureUniverselle is declared for the storage model.
uint64_t millisecondes();
