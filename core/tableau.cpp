// Growth step of the arrays, their integer searches, and the one list of the
// element types instantiated in the core library.
#include "core/tableau.h"

#include "core/format.h"
#include "core/formats.h"
#include "core/memoire.h"
#include "core/string_array.h"

namespace {

uint64_t produitSature(uint64_t a, uint64_t b) {
  TRACER_APPEL();
  uint64_t produit;
  return __builtin_mul_overflow(a, b, &produit) ? UINT64_MAX : produit;
}

template <typename T>
size_t premierEgal(const T* items, size_t count, T v) {
  TRACER_APPEL();
  size_t i = 0;
  while (i < count && items[i] != v) ++i;
  return i;
}

}  // namespace

size_t sommeTableau(size_t a, size_t b, size_t tailleElement) {
  TRACER_APPEL();
  size_t somme;
  if (__builtin_add_overflow(a, b, &somme)) {
    uint64_t elements;
    if (__builtin_add_overflow(uint64_t(a), uint64_t(b), &elements)) elements = UINT64_MAX;
    refuserAllocation(produitSature(elements, tailleElement));
  }
  return somme;
}

void* agrandirTableau(void* items, size_t* capacite, size_t n, size_t tailleElement) {
  TRACER_APPEL();
  if (*capacite >= n) return items;
  if (n > TAILLE_MAX_ALLOCATION / tailleElement) refuserAllocation(produitSature(n, tailleElement));
  // n is now below 2^31: the rounding cannot wrap.
  size_t nouvelle;
  if (n > 1024) {
    nouvelle = (n + 255) & ~size_t(255);
  } else if (n > 4) {
    nouvelle = (n + 15) & ~size_t(15);
  } else {
    nouvelle = 4;
  }
  uint64_t octets = uint64_t(nouvelle) * tailleElement;
  if (octets > TAILLE_MAX_ALLOCATION) refuserAllocation(octets);
  char* tampon = static_cast<char*>(xrealloc(items, size_t(octets)));
  memset(tampon + *capacite * tailleElement, 0, (nouvelle - *capacite) * tailleElement);
  *capacite = nouvelle;
  return tampon;
}

template <>
size_t VirtualArray<unsigned char, const unsigned char>::find(const unsigned char& v) const {
  TRACER_APPEL();
  return premierEgal(items_, count_, v);
}

template <>
size_t VirtualArray<unsigned short, const unsigned short>::find(const unsigned short& v) const {
  TRACER_APPEL();
  return premierEgal(items_, count_, v);
}

template <>
size_t VirtualArray<unsigned int, const unsigned int>::find(const unsigned int& v) const {
  TRACER_APPEL();
  return premierEgal(items_, count_, v);
}

template <>
size_t VirtualArray<uint64_t, const uint64_t>::find(const uint64_t& v) const {
  TRACER_APPEL();
  return premierEgal(items_, count_, v);
}

template <>
size_t VirtualArray<bool, const bool>::find(const bool& v) const {
  TRACER_APPEL();
  return premierEgal(items_, count_, v);
}

// Index of an element equal to v, or where v belongs in the ascending order.
template <>
size_t VirtualArray<uint64_t, const uint64_t>::findSorted(const uint64_t& v) const {
  TRACER_APPEL();
  size_t bas = 0;
  size_t haut = count_;
  while (bas < haut) {
    size_t milieu = bas + (haut - bas) / 2;
    if (items_[milieu] == v) return milieu;
    if (v < items_[milieu]) {
      haut = milieu;
    } else {
      bas = milieu + 1;
    }
  }
  return bas;
}

// Every element type of the core library, one complete set of members each.
// Element types of later layers (media, partitions, locks, the media registry)
// are instantiated the same way in the module that defines them, which the
// core cannot name; add the core's own element types here.
template class VirtualArray<unsigned char, const unsigned char>;
template class BasicArray<unsigned char, const unsigned char>;
template class VirtualArray<unsigned short, const unsigned short>;
template class BasicArray<unsigned short, const unsigned short>;
template class VirtualArray<unsigned int, const unsigned int>;
template class BasicArray<unsigned int, const unsigned int>;
template class VirtualArray<uint64_t, const uint64_t>;  // unsigned long or unsigned long long
template class BasicArray<uint64_t, const uint64_t>;
template class VirtualArray<bool, const bool>;
template class BasicArray<bool, const bool>;
template class VirtualArray<char*, char const*>;  // base of StringArray
template class VirtualArray<StringArray*, StringArray* const>;
template class BasicArray<StringArray*, StringArray* const>;
template class DeleteArray<StringArray>;
