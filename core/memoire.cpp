// Temporary body: replaced by the checked allocators.
#include "core/memoire.h"

#include <cstdlib>
#include <cstring>

void* xmalloc(size_t t) { void* p = malloc(t ? t : 1); if (!p) abort(); return p; }
void* xrealloc(void* b, size_t t) { void* p = realloc(b, t ? t : 1); if (!p) abort(); return p; }
char* xstrdup(const char* s) { return s ? strdup(s) : nullptr; }
void allouerAligne(T_BlocAligne* r, size_t, size_t) { r->bloc = r->aligne = nullptr; }
void libererAligne(T_BlocAligne*) {}
