// Reader for option files: one option a line, its name (with its own
// separator, e.g. "size=") directly followed by its value; ';' starts a
// comment line; %NAME% expands a variable, "%%" gives '%'. The caller owns
// the file text, which is cut into lines in place. Errors come back as
// allocated messages; nothing is printed. Returned texts are freed with free().
#pragma once
#include <cstddef>
#include <cstdint>

class StringArray;

const char* sauterBlancs(const char* texte);
inline char* sauterBlancs(char* texte) {
  return const_cast<char*>(sauterBlancs(static_cast<const char*>(texte)));
}
// Overwrites trailing spaces and tabs with NUL.
void supprimerBlancsFin(char* texte);
// Cuts the next blank-separated word; *reste (may be null) is where the next
// search starts, null when no word is left.
char* prochainMot(char* texte, char** reste);

// Index of the first name that is a prefix of the line, or -1 (also when the
// mask, one byte per name, has 0 for it).
int chercherOption(const char* const* noms, size_t nombre, const char* ligne,
                   const uint8_t* masque);

// Reads lines from *curseur up to the next option line. Index of the option
// with its value in *valeur; -1 with *message on an error; -1 with neither
// at the end of the text. *ligne counts every line read.
int lireLigneOption(char** curseur, uint32_t* ligne, char** valeur, const char* const* noms,
                    size_t nombre, char** message, const uint8_t* masque);

// Expands %NAME% from the names/values tables, or from the environment when
// noms is null. On an unknown name *erreur is set and the error message is
// returned instead of the text.
char* remplacerVariables(const char* texte, const StringArray* noms, const StringArray* valeurs,
                         bool* erreur);

// Index of the word of "a|b|c" that the value matches, or the default with a
// message listing the allowed words. A word ending with the prefix character
// also matches a value that starts with it (a final space also as a tab).
int valeurDansListe(const char* liste, const char* nom, const char* valeur, int defaut,
                    char** message, char prefixe, const uint8_t* masque);
// The decimal value when it lies in [minimum, maximum], else the minimum
// with a message.
uint64_t valeurDansIntervalle(uint64_t minimum, uint64_t maximum, const char* nom,
                              const char* valeur, char** message);
