// Until the Windows lock manager provides them, the storage model's path
// locks answer success here, so that the disks of this suite open: the
// Windows disks of these tests carry no path. Remove with the lock manager.
#include "storage/plateforme.h"

const char* verrouillerCheminSupport(const char*) { return nullptr; }

void deverrouillerCheminSupport(const char*) {}
