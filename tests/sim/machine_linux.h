// Simulated Linux machine installed on the system-call seam (appelsSysteme):
// device nodes, links and directories declared in ROOT/machine, disk images
// as block devices, and every other absolute path read below ROOT.
// tests/README.md describes the directives.
#pragma once
#include <cstdint>
#include <string>

// Reads ROOT/machine and replaces the seam entries; false (nothing changed)
// with the reason in *erreur. One machine at a time.
bool installerMachine(const std::string& racine, std::string* erreur);
// Puts back the entries that were in place before installerMachine.
void retirerMachine();
bool machineInstallee();

// A machine in a new temporary directory, for one test. The directory goes
// when the object ends; the machine is removed first when installed.
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
  // Runs a shell command inside the root; its exit status.
  int commande(const std::string& ligne) const;
  // Appends lines to the machine file.
  void machine(const std::string& directives) const;
  // Loads the machine file and installs it; false with erreur() set.
  bool installer();
  const std::string& erreur() const { return erreur_; }

 private:
  std::string racine_;
  std::string erreur_;
  bool installee_ = false;
};
