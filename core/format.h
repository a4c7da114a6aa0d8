// The program's own printf subset (no floating point), into a buffer or to
// standard output.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "core/formats.h"

// Length the whole output has (without the NUL), whether or not it fitted.
// A null buffer or a size of 0 only counts.
intptr_t formaterListe(char* destination, size_t taille, const char* format, va_list arguments);
intptr_t formaterMessage(char* destination, size_t taille, const char* format, ...);

// Writes to standard output and flushes; returns the characters written.
int afficherListe(const char* format, va_list arguments);
int afficherMessage(const char* format, ...);

// Prints "-- Press Return to continue --" and reads standard input up to a
// newline; end of input or a closed input ends the wait too.
void attendreRetour();
