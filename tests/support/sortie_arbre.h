// Splits a captured output around the call tree that afficherArbreAppel
// prints: "@afficherArbreAppel: <address>\n", "Call tree:\n", the lines of
// entries, then the pause prompt, which must end the output.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

const char* const TEXTE_PAUSE = "-- Press Return to continue --";

struct SortieArbre {
  bool present = false;          // a well-formed tree ends the output
  std::string avant;             // everything before the tree (all when absent)
  std::string adresse;           // the address of the header line
  std::vector<std::string> lignes;  // entry lines without their "\n"
};

SortieArbre decouperArbre(const std::string& sortie);

// A code address as the crash texts print it (FMT_ADRESSE).
std::string texteAdresse(uintptr_t adresse);
