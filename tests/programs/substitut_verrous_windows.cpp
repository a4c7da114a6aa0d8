// The Windows layer has no path locks yet: for this suite the storage
// model's lock hooks refuse, so that the report code links. To be removed
// when platform/windows provides them.
#ifdef _WIN32
#include "storage/plateforme.h"

const char* verrouillerCheminSupport(const char*) { return "no path lock on this build"; }

void deverrouillerCheminSupport(const char*) {}
#endif
