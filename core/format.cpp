// Temporary body: replaced by the engine.
#include "core/format.h"

#include <cstdio>

intptr_t formaterListe(char* d, size_t t, const char* f, va_list a) { return vsnprintf(d, t, f, a); }
intptr_t formaterMessage(char* d, size_t t, const char* f, ...) {
  va_list a;
  va_start(a, f);
  intptr_t n = formaterListe(d, t, f, a);
  va_end(a);
  return n;
}
int afficherListe(const char* f, va_list a) {
  int n = vprintf(f, a);
  fflush(stdout);
  return n;
}
int afficherMessage(const char* f, ...) {
  va_list a;
  va_start(a, f);
  int n = afficherListe(f, a);
  va_end(a);
  return n;
}
void attendreRetour() {
  afficherMessage("-- Press Return to continue --");
  int c;
  while ((c = getchar()) != EOF && c != '\n') {
  }
}
