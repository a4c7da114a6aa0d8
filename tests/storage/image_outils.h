// Disk images made at test time by the real tools (sgdisk, fdisk, mkfs.fat):
// a sparse file of its own, removed when the object ends. Linux only.
#pragma once
#ifndef _WIN32
#include <cstdint>
#include <string>
#include <vector>

class ImageOutils {
 public:
  explicit ImageOutils(uint64_t taille);
  ~ImageOutils();
  ImageOutils(const ImageOutils&) = delete;
  ImageOutils& operator=(const ImageOutils&) = delete;

  const std::string& chemin() const { return chemin_; }
  // Runs a shell command in which every "IMG" stands for the image's path;
  // its exit status, with standard output (and error) in *sortie.
  int commande(const std::string& ligne, std::string* sortie = nullptr) const;
  std::vector<uint8_t> lire(uint64_t position, size_t taille) const;
  void ecrire(uint64_t position, const void* octets, size_t taille) const;
  uint64_t taille() const;

 private:
  std::string chemin_;
};

// The text after "cle" up to the end of its line in a tool's output; empty
// when the key is missing.
std::string valeurApres(const std::string& sortie, const std::string& cle);
#endif
