// What Windows reports about one drive letter, after "Detection for drive
// %c:\n": the volume's geometry, position and size on the NT family, the DOS
// device parameters on 9x, then the plausibility checks.
#pragma once

void detecterLecteurNT(char lettre);
void detecterLecteur9x(char lettre);
