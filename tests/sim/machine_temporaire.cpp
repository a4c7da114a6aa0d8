#include "sim/machine_temporaire.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include "sim/machine_windows.h"
#else
#include "sim/machine_linux.h"
#endif

MachineTemporaire::MachineTemporaire() : racine_(nouveauDossier()) { machine(""); }

MachineTemporaire::~MachineTemporaire() {
  if (installee_) retirerMachine();
  std::error_code code;
  if (!racine_.empty()) std::filesystem::remove_all(racine_, code);
}

std::string MachineTemporaire::chemin(const std::string& relatif) const {
#ifdef _WIN32
  std::string r = racine_ + "\\" + relatif;
  for (char& c : r)
    if (c == '/') c = '\\';
  return r;
#else
  return racine_ + "/" + relatif;
#endif
}

void MachineTemporaire::ecrire(const std::string& relatif, const std::string& contenu) const {
  std::error_code code;
  std::filesystem::create_directories(std::filesystem::path(chemin(relatif)).parent_path(), code);
  std::ofstream f(chemin(relatif), std::ios::binary | std::ios::trunc);
  f << contenu;
}

std::string MachineTemporaire::lire(const std::string& relatif) const {
  std::ifstream f(chemin(relatif), std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void MachineTemporaire::image(const std::string& relatif, uint64_t taille) const {
  ecrire(relatif, "");
  std::error_code code;
  std::filesystem::resize_file(chemin(relatif), taille, code);
  if (code) fprintf(stderr, "image %s: %s\n", relatif.c_str(), code.message().c_str());
}

std::string MachineTemporaire::octets(const std::string& relatif, uint64_t position, size_t n) const {
  std::ifstream f(chemin(relatif), std::ios::binary);
  std::string v(n, '\0');
  f.seekg(static_cast<std::streamoff>(position));
  f.read(&v[0], static_cast<std::streamsize>(n));
  return v;
}

void MachineTemporaire::remplacer(const std::string& relatif, uint64_t position,
                                  const std::string& octets) const {
  std::fstream f(chemin(relatif), std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(position));
  f.write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

void MachineTemporaire::machine(const std::string& directives) const {
  std::ofstream f(chemin("machine"), std::ios::app | std::ios::binary);
  f << directives;
  if (!directives.empty() && directives.back() != '\n') f << '\n';
}

bool MachineTemporaire::installer() {
  installee_ = installerMachine(racine_, &erreur_);
  return installee_;
}
