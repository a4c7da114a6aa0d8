// Pattern images of the transfer tests, the same as the Linux ones: byte i
// of sector k is k x 7 + i.
#pragma once
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "sim/machine_windows.h"

inline uint8_t motif(uint64_t k, uint32_t i) { return static_cast<uint8_t>(k * 7 + i); }

inline std::vector<uint8_t> secteurs(uint64_t premier, uint32_t nombre, uint32_t taille) {
  std::vector<uint8_t> v(static_cast<size_t>(nombre) * taille);
  for (uint32_t s = 0; s < nombre; ++s)
    for (uint32_t i = 0; i < taille; ++i) v[s * taille + i] = motif(premier + s, i);
  return v;
}

// A sparse image with the pattern in the sectors listed.
inline void imageMotif(const MachineTemporaire& m, const std::string& nom, uint64_t taille,
                       uint32_t tailleSecteur, const std::vector<uint64_t>& remplis) {
  m.image(nom, taille);
  std::fstream f(m.chemin(nom), std::ios::in | std::ios::out | std::ios::binary);
  for (uint64_t k : remplis) {
    auto v = secteurs(k, 1, tailleSecteur);
    f.seekp(static_cast<std::streamoff>(k * tailleSecteur));
    f.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size()));
  }
}

inline std::vector<uint8_t> lireImage(const MachineTemporaire& m, const std::string& nom,
                                      uint64_t position, size_t octets) {
  std::ifstream f(m.chemin(nom), std::ios::binary);
  f.seekg(static_cast<std::streamoff>(position));
  std::vector<uint8_t> v(octets);
  f.read(reinterpret_cast<char*>(v.data()), static_cast<std::streamsize>(octets));
  return v;
}
