// Newly allocated formatted texts for the storage descriptions.
#pragma once

// The whole output of the format (engine of core/format.h); the caller frees it.
char* texteFormate(const char* format, ...);
