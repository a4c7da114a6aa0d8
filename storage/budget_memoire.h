// The memory budget of large buffers: a used-memory counter and a limit
// (none at start) on top of what the system says is free.
#pragma once
#include <cstdint>

void ajouterMemoireUtilisee(uint64_t octets);
void retirerMemoireUtilisee(uint64_t octets);
// A negative limit removes it.
void fixerLimiteMemoire(int64_t limite);
// Free memory within the limit, less what the program has taken.
uint64_t memoireDisponible();
// Elements of that size the budget holds, at most the allocation limit.
uint32_t nombreMaxElements(uint32_t tailleElement);
// A buffer size for about voulu elements: whole transfer units.
uint64_t tailleTampon(uint64_t voulu, uint32_t tailleElement);
