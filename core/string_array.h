// List of owned texts: every text that enters is duplicated, every text that
// leaves is freed, a moved text keeps its single owner.
#pragma once
#include <cstddef>

#include "core/tableau.h"

class StringArray : public VirtualArray<char*, char const*> {
 public:
  StringArray() : pending_(nullptr) {}
  StringArray(size_t n, char const* const* texts);
  StringArray(const StringArray& other);
  ~StringArray() override;
  StringArray& operator=(const StringArray& src) {
    VirtualArray::operator=(src);
    return *this;
  }

  // First non-null element at or after start equal to s; count() on a miss.
  size_t find(const char* s, size_t start) const;
  size_t findNoCase(const char* s, size_t start) const;

  // On a list kept in the sorted order: case-ignoring first, exact on a tie.
  // findSorted gives count() on a miss; insertPosition gives the index of
  // the equal element or of the first one that sorts after s.
  size_t findSorted(const char* s) const;
  size_t insertPosition(const char* s) const;
  static size_t insertPosition(size_t n, char* const* texts, const char* s);

 protected:
  char* copyElement(char const* const& s) override;
  void detachElement(size_t i) override {
    pending_ = items_[i];
    items_[i] = nullptr;
  }
  void releasePending() override;

 private:
  size_t chercherLineaire(const char* s, size_t start,
                          int (*comparer)(const char*, const char*)) const;

  char* pending_;
};

extern template class VirtualArray<StringArray*, StringArray* const>;
extern template class BasicArray<StringArray*, StringArray* const>;
extern template class DeleteArray<StringArray>;
