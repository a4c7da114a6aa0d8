// The order of a selection sort (for each position from the first, the
// smallest key from there on is swapped into it; among equal keys the one
// nearest the front at that moment) found in n log n steps.
#pragma once
#include <cstddef>
#include <cstdint>

// ordre receives n indices: ordre[k] is the index in cles of the element that
// the selection sort leaves at position k. cles is not changed.
void ordreTriSelection(const uint64_t* cles, size_t n, size_t* ordre);
