// The lines of ROOT/machine that the Linux and the Windows simulations
// share: one file serves both, each taking its own system's directives and
// skipping the other's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The words of a line, without its '#' comment.
std::vector<std::string> motsDirective(const std::string& ligne);

// A directive only the Windows machine reads: windows, drive, volume, admin,
// console, timezone, missing, and fail of a Windows function (a mixed-case
// API name) or control code (IOCTL_..., FSCTL_..., VWIN32_..., INT13_...,
// INT21_...).
bool directiveWindows(const std::vector<std::string>& mots);
// A directive only the Linux machine reads: every other one but the empty.
bool directiveLinux(const std::vector<std::string>& mots);

// Decimal or 0x hexadecimal, with an optional K, M, G or T suffix.
bool lireNombreMachine(const std::string& texte, uint64_t* valeur);

// The reading of ROOT/machine both machines share: each line's words, the
// other system's directives skipped, the first refusal reported with its
// line number ("machine:N: reason").
class LecteurDirectives {
 public:
  virtual ~LecteurDirectives() = default;

 protected:
  // False, with *erreur set, when the file cannot be read or a line is
  // refused.
  bool lireDirectives(const std::string& fichier,
                      bool (*autreSysteme)(const std::vector<std::string>&), std::string* erreur);
  // One directive of this machine; false after refus().
  virtual bool directive(const std::vector<std::string>& mots) = 0;
  static bool faux(std::string* erreur, const std::string& texte);
  bool refus(const std::string& texte);

  std::string raison_;
};
