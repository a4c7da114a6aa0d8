// Checked allocation: never returns null for a real request.
#pragma once
#include <cstddef>

const size_t TAILLE_MAX_ALLOCATION = 0x7FFFFFBF;

void* xmalloc(size_t taille);
void* xrealloc(void* bloc, size_t taille);
char* xstrdup(const char* texte);

struct T_BlocAligne {
  void* bloc;     // as allocated, to be freed
  void* aligne;   // inside bloc, at the alignment
};
void allouerAligne(T_BlocAligne* resultat, size_t taille, size_t alignement);
void libererAligne(T_BlocAligne* bloc);
