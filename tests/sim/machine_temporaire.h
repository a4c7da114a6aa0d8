// A simulated machine in a new temporary directory, for one test: the same
// helpers for the Linux and the Windows machine. The directory goes when the
// object ends; the machine is removed first when installed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class MachineTemporaire {
 public:
  MachineTemporaire();
  ~MachineTemporaire();
  MachineTemporaire(const MachineTemporaire&) = delete;
  MachineTemporaire& operator=(const MachineTemporaire&) = delete;

  const std::string& racine() const { return racine_; }
  // The host path of a file given relative to the root.
  std::string chemin(const std::string& relatif) const;
  // Writes a file below the root, making its folders.
  void ecrire(const std::string& relatif, const std::string& contenu) const;
  std::string lire(const std::string& relatif) const;
  // A sparse file of taille bytes.
  void image(const std::string& relatif, uint64_t taille) const;
  // n bytes of a file from position on, and bytes written over a file's
  // own at position (the file keeps its size past them).
  std::string octets(const std::string& relatif, uint64_t position, size_t n) const;
  void remplacer(const std::string& relatif, uint64_t position, const std::string& octets) const;
#ifndef _WIN32
  // Runs a shell command inside the root; its exit status.
  int commande(const std::string& ligne) const;
#endif
  // Appends lines to the machine file.
  void machine(const std::string& directives) const;
  // Loads the machine file and installs it; false with erreur() set.
  bool installer();
  const std::string& erreur() const { return erreur_; }

 private:
  // A new empty folder of the host's temporary directory; empty when none
  // could be made. Each machine's own body.
  static std::string nouveauDossier();

  std::string racine_;
  std::string erreur_;
  bool installee_ = false;
};
