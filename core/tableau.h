// Growable arrays with a virtual element policy: VirtualArray (abstract),
// BasicArray (values copied bit for bit) and DeleteArray (owned objects).
// Elements are relocated as raw memory; slots from count to capacity - 1 hold
// zero bytes. Indices given to the accessors are not checked.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/erreurs.h"

// Capacity for at least n elements by the growth rule (4, multiples of 16 up
// to 1024, multiples of 256 beyond); *capacite is updated and the new slots
// are zeroed. A buffer above the allocation limit is fatal.
void* agrandirTableau(void* items, size_t* capacite, size_t n, size_t tailleElement);
// a + b element counts; a sum that does not fit is fatal like a refused
// allocation of that many elements.
size_t sommeTableau(size_t a, size_t b, size_t tailleElement);

template <typename T, typename TC>
class VirtualArray {
 public:
  VirtualArray() : count_(0), capacity_(0), items_(nullptr) {}
  VirtualArray(const VirtualArray&) = delete;
  virtual ~VirtualArray();

  size_t count() const { return count_; }
  T* items() const { return items_; }
  T& operator[](size_t i) { return items_[i]; }
  const T& operator[](size_t i) const { return items_[i]; }

  void clear();
  void remove(size_t i);
  void reserve(size_t n);
  void add(const TC& v);
  void addValues(const TC* values, size_t n);
  void insert(const TC& v, size_t i);
  void set(const TC& v, size_t i);
  void moveTo(size_t from, VirtualArray& dest, size_t to, size_t n);
  void moveWithin(size_t from, size_t to, size_t n);
  void moveOneWithin(size_t from, size_t to);
  void moveOneTo(size_t from, VirtualArray& dest, size_t to);
  void fill(const TC& v, size_t n, size_t start);
  void appendRange(const VirtualArray& src, size_t from, size_t n);
  void append(const VirtualArray& src);
  VirtualArray& operator=(const VirtualArray& src);
  // Defined for the integer element types only (tableau.cpp).
  size_t find(const TC& v) const;
  // Defined for the 64-bit unsigned element type only.
  size_t findSorted(const TC& v) const;

 protected:
  // Element to store for a value entering the array.
  virtual T copyElement(const TC& value) = 0;
  // Element i is about to leave the array or be overwritten.
  virtual void detachElement(size_t) {}
  // The operation that detached an element is complete.
  virtual void releasePending() {}

  void grow(size_t n);
  void assign(size_t n, const TC* values);

  size_t count_;
  size_t capacity_;
  T* items_;

 private:
  // Stores a copy of v at i >= count; the slots in between stay zero.
  void placerAuDela(const TC& v, size_t i);
};

template <typename T, typename TC>
class BasicArray : public VirtualArray<T, TC> {
 public:
  BasicArray() {}
  BasicArray(size_t n, const TC* values);
  BasicArray(const BasicArray& other);
  ~BasicArray() override {}
  BasicArray& operator=(const BasicArray& src) {
    VirtualArray<T, TC>::operator=(src);
    return *this;
  }

 protected:
  T copyElement(const TC& value) override { return value; }
};

// Owns the objects its elements point to: an element that leaves is deleted.
// Not copyable: two arrays never own one object.
template <typename T>
class DeleteArray : public BasicArray<T*, T* const> {
 public:
  DeleteArray() : pending_(nullptr) {}
  DeleteArray(const DeleteArray&) = delete;
  DeleteArray& operator=(const DeleteArray&) = delete;
  ~DeleteArray() override;

 protected:
  void detachElement(size_t i) override {
    pending_ = this->items_[i];
    this->items_[i] = nullptr;
  }
  void releasePending() override;

 private:
  T* pending_;
};

template <typename T, typename TC>
VirtualArray<T, TC>::~VirtualArray() {
  TRACER_APPEL();
  clear();
}

template <typename T, typename TC>
void VirtualArray<T, TC>::clear() {
  TRACER_APPEL();
  if (estSortieUrgence()) {
    // The heap may be damaged: abandon buffer and elements.
    items_ = nullptr;
    capacity_ = 0;
    count_ = 0;
    return;
  }
  while (count_ > 0) {
    --count_;
    detachElement(count_);
    releasePending();
  }
  if (items_) free(items_);
  items_ = nullptr;
  capacity_ = 0;
}

template <typename T, typename TC>
void VirtualArray<T, TC>::remove(size_t i) {
  TRACER_APPEL();
  if (i >= count_) return;
  detachElement(i);
  if (i + 1 < count_) {
    memmove(static_cast<void*>(items_ + i), items_ + i + 1, (count_ - i - 1) * sizeof(T));
  }
  --count_;
  if (count_ == 0) {
    clear();
  } else {
    memset(static_cast<void*>(items_ + count_), 0, sizeof(T));
  }
  releasePending();
}

template <typename T, typename TC>
void VirtualArray<T, TC>::grow(size_t n) {
  TRACER_APPEL();
  if (capacity_ >= n) return;
  items_ = static_cast<T*>(agrandirTableau(items_, &capacity_, n, sizeof(T)));
}

template <typename T, typename TC>
void VirtualArray<T, TC>::reserve(size_t n) {
  TRACER_APPEL();
  grow(n);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::add(const TC& v) {
  TRACER_APPEL();
  TC valeur = v;  // v may lie in the buffer that grow moves
  grow(sommeTableau(count_, 1, sizeof(T)));
  items_[count_] = copyElement(valeur);
  ++count_;
}

template <typename T, typename TC>
void VirtualArray<T, TC>::addValues(const TC* values, size_t n) {
  TRACER_APPEL();
  // Values taken from this buffer are read again after it moves.
  uintptr_t adresse = reinterpret_cast<uintptr_t>(values);
  uintptr_t debut = reinterpret_cast<uintptr_t>(items_);
  bool interne = items_ && adresse >= debut && adresse < debut + capacity_ * sizeof(T);
  size_t decalage = interne ? (adresse - debut) / sizeof(T) : 0;
  grow(sommeTableau(count_, n, sizeof(T)));
  if (interne) values = items_ + decalage;
  for (size_t j = 0; j < n; ++j) {
    items_[count_] = copyElement(values[j]);
    ++count_;
  }
}

template <typename T, typename TC>
void VirtualArray<T, TC>::placerAuDela(const TC& v, size_t i) {
  TRACER_APPEL();
  grow(sommeTableau(i, 1, sizeof(T)));
  count_ = i + 1;
  items_[i] = copyElement(v);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::insert(const TC& v, size_t i) {
  TRACER_APPEL();
  TC valeur = v;
  if (i >= count_) {
    placerAuDela(valeur, i);
    return;
  }
  grow(sommeTableau(count_, 1, sizeof(T)));
  memmove(static_cast<void*>(items_ + i + 1), items_ + i, (count_ - i) * sizeof(T));
  memset(static_cast<void*>(items_ + i), 0, sizeof(T));
  ++count_;
  items_[i] = copyElement(valeur);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::set(const TC& v, size_t i) {
  TRACER_APPEL();
  TC valeur = v;  // detachElement may null the slot v refers to
  if (i >= count_) {
    placerAuDela(valeur, i);
    return;
  }
  detachElement(i);
  items_[i] = copyElement(valeur);
  releasePending();
}

template <typename T, typename TC>
void VirtualArray<T, TC>::moveTo(size_t from, VirtualArray& dest, size_t to, size_t n) {
  TRACER_APPEL();
  if (n == 0 || from >= count_) return;
  size_t k = n < count_ - from ? n : count_ - from;
  if (&dest == this && from <= to && to <= from + k) return;
  if (to < dest.count_) {
    dest.grow(sommeTableau(dest.count_, k, sizeof(T)));
    memmove(static_cast<void*>(dest.items_ + to + k), dest.items_ + to,
            (dest.count_ - to) * sizeof(T));
    dest.count_ += k;
    if (&dest == this && from > to) from += k;
  } else {
    dest.grow(sommeTableau(to, k, sizeof(T)));
    dest.count_ = to + k;
  }
  memmove(static_cast<void*>(dest.items_ + to), items_ + from, k * sizeof(T));
  if (from + k < count_) {
    memmove(static_cast<void*>(items_ + from), items_ + from + k,
            (count_ - from - k) * sizeof(T));
  }
  count_ -= k;
  if (count_ == 0) {
    clear();
  } else {
    memset(static_cast<void*>(items_ + count_), 0, k * sizeof(T));
  }
}

template <typename T, typename TC>
void VirtualArray<T, TC>::moveWithin(size_t from, size_t to, size_t n) {
  TRACER_APPEL();
  moveTo(from, *this, to, n);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::moveOneWithin(size_t from, size_t to) {
  TRACER_APPEL();
  moveTo(from, *this, to, 1);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::moveOneTo(size_t from, VirtualArray& dest, size_t to) {
  TRACER_APPEL();
  moveTo(from, dest, to, 1);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::fill(const TC& v, size_t n, size_t start) {
  TRACER_APPEL();
  size_t fin = sommeTableau(start, n, sizeof(T));
  if (fin == 0) return;
  TC valeur = v;  // v may lie in the buffer that grow moves
  // A v read from an element that the fill releases may die with it (an
  // owned text): the slots after that one copy its replacement instead.
  uintptr_t adresse = reinterpret_cast<uintptr_t>(&v);
  uintptr_t debut = reinterpret_cast<uintptr_t>(items_);
  size_t propre = items_ && adresse >= debut && adresse < debut + count_ * sizeof(T)
                      ? (adresse - debut) / sizeof(T)
                      : SIZE_MAX;
  const TC* source = &valeur;
  grow(fin);
  for (size_t i = start; i < fin; ++i) {
    if (i < count_) {
      detachElement(i);
      items_[i] = copyElement(*source);
      releasePending();
    } else {
      items_[i] = copyElement(*source);
      count_ = i + 1;
    }
    if (i == propre) source = items_ + i;
  }
}

template <typename T, typename TC>
void VirtualArray<T, TC>::appendRange(const VirtualArray& src, size_t from, size_t n) {
  TRACER_APPEL();
  if (n == 0 || from >= src.count_) return;
  size_t k = n < src.count_ - from ? n : src.count_ - from;
  grow(sommeTableau(count_, k, sizeof(T)));
  // src may be this array: its buffer is read afresh at each step.
  for (size_t j = from; j < from + k; ++j) {
    items_[count_] = copyElement(src.items_[j]);
    ++count_;
  }
}

template <typename T, typename TC>
void VirtualArray<T, TC>::append(const VirtualArray& src) {
  TRACER_APPEL();
  appendRange(src, 0, src.count_);
}

template <typename T, typename TC>
void VirtualArray<T, TC>::assign(size_t n, const TC* values) {
  TRACER_APPEL();
  count_ = 0;
  capacity_ = 0;
  items_ = nullptr;
  grow(n);
  for (size_t j = 0; j < n; ++j) {
    items_[j] = copyElement(values[j]);
    count_ = j + 1;
  }
}

template <typename T, typename TC>
VirtualArray<T, TC>& VirtualArray<T, TC>::operator=(const VirtualArray& src) {
  TRACER_APPEL();
  if (&src == this) return *this;
  clear();
  assign(src.count_, src.items_);
  return *this;
}

template <typename T, typename TC>
BasicArray<T, TC>::BasicArray(size_t n, const TC* values) {
  TRACER_APPEL();
  this->assign(n, values);
}

template <typename T, typename TC>
BasicArray<T, TC>::BasicArray(const BasicArray& other) : VirtualArray<T, TC>() {
  TRACER_APPEL();
  this->assign(other.count_, other.items_);
}

template <typename T>
DeleteArray<T>::~DeleteArray() {
  TRACER_APPEL();
  this->clear();
}

template <typename T>
void DeleteArray<T>::releasePending() {
  TRACER_APPEL();
  if (pending_ && !estSortieUrgence()) delete pending_;
  pending_ = nullptr;
}

// Searches defined for the integer element types.
template <> size_t VirtualArray<unsigned char, const unsigned char>::find(const unsigned char& v) const;
template <> size_t VirtualArray<unsigned short, const unsigned short>::find(const unsigned short& v) const;
template <> size_t VirtualArray<unsigned int, const unsigned int>::find(const unsigned int& v) const;
template <> size_t VirtualArray<uint64_t, const uint64_t>::find(const uint64_t& v) const;
template <> size_t VirtualArray<bool, const bool>::find(const bool& v) const;
template <> size_t VirtualArray<uint64_t, const uint64_t>::findSorted(const uint64_t& v) const;

// Instantiated once, in tableau.cpp.
extern template class VirtualArray<unsigned char, const unsigned char>;
extern template class BasicArray<unsigned char, const unsigned char>;
extern template class VirtualArray<unsigned short, const unsigned short>;
extern template class BasicArray<unsigned short, const unsigned short>;
extern template class VirtualArray<unsigned int, const unsigned int>;
extern template class BasicArray<unsigned int, const unsigned int>;
extern template class VirtualArray<uint64_t, const uint64_t>;
extern template class BasicArray<uint64_t, const uint64_t>;
extern template class VirtualArray<bool, const bool>;
extern template class BasicArray<bool, const bool>;
extern template class VirtualArray<char*, char const*>;
