#include "programs/tablens/tablens.h"

void afficherDisques(uint8_t, uint8_t, bool) {}
