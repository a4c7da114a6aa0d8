#include "sim/directives_machine.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool commencePar(const std::string& texte, const char* debut) { return texte.rfind(debut, 0) == 0; }

// Windows names its functions in mixed case and its control codes with a
// family prefix; the Linux calls are lower case and its ioctls have none of
// these prefixes.
bool nomWindows(const std::string& nom) {
  for (const char* prefixe : {"IOCTL_", "FSCTL_", "VWIN32_", "INT13_", "INT21_", "INT25", "INT26"})
    if (commencePar(nom, prefixe)) return true;
  bool majuscule = false, minuscule = false;
  for (char c : nom) {
    majuscule = majuscule || (c >= 'A' && c <= 'Z');
    minuscule = minuscule || (c >= 'a' && c <= 'z');
  }
  return majuscule && minuscule;
}

}  // namespace

std::vector<std::string> motsDirective(const std::string& ligne) {
  std::string utile = ligne.substr(0, ligne.find('#'));
  std::istringstream flux(utile);
  std::vector<std::string> mots;
  for (std::string mot; flux >> mot;) mots.push_back(mot);
  return mots;
}

bool directiveWindows(const std::vector<std::string>& mots) {
  if (mots.empty()) return false;
  const std::string& d = mots[0];
  for (const char* nom : {"windows", "drive", "volume", "admin", "console", "timezone", "missing"})
    if (d == nom) return true;
  return d == "fail" && mots.size() > 1 && nomWindows(mots[1]);
}

bool directiveLinux(const std::vector<std::string>& mots) {
  return !mots.empty() && !directiveWindows(mots);
}

bool lireNombreMachine(const std::string& texte, uint64_t* valeur) {
  if (texte.empty() || texte[0] == '-') return false;
  errno = 0;
  char* fin = nullptr;
  unsigned long long v = strtoull(texte.c_str(), &fin, 0);
  if (errno != 0 || fin == texte.c_str()) return false;
  std::string suffixe = fin;
  unsigned decalage = 0;
  if (suffixe == "K") decalage = 10;
  else if (suffixe == "M") decalage = 20;
  else if (suffixe == "G") decalage = 30;
  else if (suffixe == "T") decalage = 40;
  else if (!suffixe.empty()) return false;
  if (decalage && v > (~0ULL >> decalage)) return false;
  *valeur = static_cast<uint64_t>(v) << decalage;
  return true;
}

bool LecteurDirectives::lireDirectives(const std::string& fichier,
                                       bool (*autreSysteme)(const std::vector<std::string>&),
                                       std::string* erreur) {
  std::ifstream f(fichier);
  if (!f) return faux(erreur, "cannot read " + fichier);
  std::string ligne;
  for (size_t numero = 1; std::getline(f, ligne); ++numero) {
    if (!ligne.empty() && ligne.back() == '\r') ligne.pop_back();
    std::vector<std::string> mots = motsDirective(ligne);
    if (mots.empty() || autreSysteme(mots)) continue;
    if (!directive(mots)) return faux(erreur, "machine:" + std::to_string(numero) + ": " + raison_);
  }
  return true;
}

bool LecteurDirectives::faux(std::string* erreur, const std::string& texte) {
  if (erreur != nullptr) *erreur = texte;
  return false;
}

bool LecteurDirectives::refus(const std::string& texte) {
  raison_ = texte;
  return false;
}
