#include "core/string_array.h"

#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <strings.h>
#endif

#include "core/memoire.h"

namespace {

int comparerSansCasseTexte(const char* a, const char* b) {
#ifdef _WIN32
  return _stricmp(a, b);
#else
  return strcasecmp(a, b);
#endif
}

// The sorted order: letter case only decides between otherwise equal texts.
int comparerTri(const char* a, const char* b) {
  TRACER_APPEL();
  int c = comparerSansCasseTexte(a, b);
  return c != 0 ? c : strcmp(a, b);
}

// True with *position at an element equal to s; false with *position where
// s belongs.
bool chercherTrie(size_t n, char* const* texts, const char* s, size_t* position) {
  TRACER_APPEL();
  size_t bas = 0;
  size_t haut = n;
  while (bas < haut) {
    size_t milieu = bas + (haut - bas) / 2;
    int c = comparerTri(s, texts[milieu]);
    if (c == 0) {
      *position = milieu;
      return true;
    }
    if (c < 0) {
      haut = milieu;
    } else {
      bas = milieu + 1;
    }
  }
  *position = bas;
  return false;
}

}  // namespace

size_t StringArray::chercherLineaire(const char* s, size_t start,
                                     int (*comparer)(const char*, const char*)) const {
  TRACER_APPEL();
  if (!s) return count_;
  for (size_t i = start; i < count_; ++i) {
    if (items_[i] && comparer(items_[i], s) == 0) return i;
  }
  return count_;
}

StringArray::StringArray(size_t n, char const* const* texts) : pending_(nullptr) {
  TRACER_APPEL();
  assign(n, texts);
}

StringArray::StringArray(const StringArray& other) : VirtualArray(), pending_(nullptr) {
  TRACER_APPEL();
  assign(other.count_, other.items_);
}

StringArray::~StringArray() {
  TRACER_APPEL();
  clear();
}

char* StringArray::copyElement(char const* const& s) {
  TRACER_APPEL();
  // No allocation during an emergency exit: the text enters as null.
  if (!s || estSortieUrgence()) return nullptr;
  return xstrdup(s);
}

void StringArray::releasePending() {
  TRACER_APPEL();
  if (!pending_) return;
  if (!estSortieUrgence()) free(pending_);
  pending_ = nullptr;
}

size_t StringArray::find(const char* s, size_t start) const {
  TRACER_APPEL();
  return chercherLineaire(s, start, strcmp);
}

size_t StringArray::findNoCase(const char* s, size_t start) const {
  TRACER_APPEL();
  return chercherLineaire(s, start, comparerSansCasseTexte);
}

size_t StringArray::findSorted(const char* s) const {
  TRACER_APPEL();
  size_t position;
  if (!s || !chercherTrie(count_, items_, s, &position)) return count_;
  return position;
}

size_t StringArray::insertPosition(const char* s) const {
  TRACER_APPEL();
  return insertPosition(count_, items_, s);
}

size_t StringArray::insertPosition(size_t n, char* const* texts, const char* s) {
  TRACER_APPEL();
  size_t position;
  chercherTrie(n, texts, s, &position);
  return position;
}
