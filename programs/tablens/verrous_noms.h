// The lock attempt on each name of a partition block; one body per
// platform.
#pragma once

// Null when the name is locked (lectureSeule tells how), else the refusal
// text (a constant).
const char* verrouillerNom(const char* nom, bool* lectureSeule);
void deverrouillerNom(const char* nom);

// After the refusal of nom: the system error saved, "cannot be locked: "
// with the message, the system error report, and on Windows the open files
// of a refused drive.
void signalerRefusVerrou(const char* nom, const char* message);

// The system named in the advice after a size limit: "Linux" or "Windows".
extern const char* const NOM_SYSTEME_TABLENS;
