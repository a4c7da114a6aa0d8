// Escaped names: printable ASCII stands for itself, every other unit is
// written "<xx>" (below 256) or "<xxxx>" (16-bit), lower-case hex digits only.
// Comparison, lookup, upper-casing, path joining and wildcard matching work on
// that form. Returned texts come from xmalloc; the caller frees them.
#pragma once
#include <cstddef>
#include <cstdint>

// False (and 0 in the result) unless every character is a lower-case hex
// digit; stops at the first one that is not, so a NUL is never passed.
bool lireHexa2(const char* caracteres, uint8_t* octet);
bool lireHexa4(const char* caracteres, uint16_t* unite);

// Destination: 6 x nombre + 1 bytes.
void echapperNom(const uint16_t* unites, size_t nombre, bool garderSeparateurs,
                 bool echapperEspaces, char* destination);
// Destination: 4 x strlen(texte) + 1 bytes.
void echapperNomOctets(const char* texte, bool garderSeparateurs, bool echapperEspaces,
                       char* destination);

// Units: strlen(texte) + 1 slots; a 0 unit is stored after the last one and
// not counted. barreEchappee (may be null): an escaped "<2f>" was met.
void desechapperNom(const char* texte, uint16_t* unites, uint64_t* nombre, bool* barreEchappee);
// Destination: strlen(texte) + 1 bytes. False when a unit did not fit in a
// byte (it is written '_').
bool desechapperNomOctets(const char* texte, char* destination, bool* barreEchappee);

// Destination: 4 x strlen(texte) + 1 bytes.
void normaliserNom(const char* texte, char* destination);

bool nomsEgaux(const char* nom1, const char* nom2, bool ignorerCasse);
// Index of the first entry equal to nom (null entries are skipped), or nombre.
size_t indiceNom(const char* nom, const char* const* noms, size_t nombre, bool ignorerCasse);
char* nomEnMajuscules(const char* nom);
char* joindreChemin(const char* repertoire, const char* nom, bool barreSiVide);

bool contientJokers(const char* texte);
// '*', '?', sets "[...]" with ranges and '!'; escaped characters are literal.
bool correspondMotif(const char* nom, const char* motif, bool ignorerCasse);
