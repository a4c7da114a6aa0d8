#include "support/code_source.h"

std::string partieCode(const std::string& ligne) {
  std::string r;
  bool texte = false;
  for (size_t i = 0; i < ligne.size(); ++i) {
    char c = ligne[i];
    if (texte) {
      if (c == '\\') ++i;
      else if (c == '"') texte = false;
      continue;
    }
    if (c == '"') texte = true;
    else if (c == '/' && i + 1 < ligne.size() && ligne[i + 1] == '/') break;
    else r += c;
  }
  return r;
}
