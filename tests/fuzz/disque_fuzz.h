// A disk served from the fuzzer's bytes, for the targets that read partition
// tables. Byte 0 bit 0 set: 4096-byte sectors, else 512; bytes 1-8: the
// disk's sector count (little-endian); then records of an 8-byte sector
// number and the first 512 bytes of that sector. Sectors without a record
// read as zeros; reads past the count plus 4096 fail, so a size growth can
// succeed or not.
#pragma once
#include <cstdint>
#include <cstring>
#include <map>

#include "storage/disque.h"
#include "tests/support/geometrie_disque.h"

class DisqueFuzz : public Disque {
 public:
  static const size_t OCTETS_ENREGISTRES = 512;

  // Null when the input is too short to name a disk.
  static DisqueFuzz* depuis(const uint8_t* donnees, size_t taille) {
    if (taille < 9) return nullptr;
    uint64_t nombre = lire64(donnees + 1);
    if (nombre == 0) nombre = 1;
    DisqueFuzz* d = new DisqueFuzz(nombre, donnees[0] & 1 ? 4096 : 512);
    for (size_t p = 9; p + 8 + OCTETS_ENREGISTRES <= taille; p += 8 + OCTETS_ENREGISTRES)
      d->secteurs_[lire64(donnees + p)] = donnees + p + 8;
    return d;
  }

  // The recorded bytes of sector n, or null.
  const uint8_t* secteur(uint64_t n) const {
    auto s = secteurs_.find(n);
    return s == secteurs_.end() ? nullptr : s->second;
  }

  static uint64_t lire64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
  }

  bool lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon, T_RappelMessage) override {
    uint8_t* octets = static_cast<uint8_t*>(tampon);
    memset(octets, 0, static_cast<size_t>(nombre) * tailleSecteur_);
    if (premier >= physiques_ || nombre > physiques_ - premier) return false;
    for (uint32_t i = 0; i < nombre; ++i) {
      auto s = secteurs_.find(premier + i);
      if (s != secteurs_.end())
        memcpy(octets + size_t{i} * tailleSecteur_, s->second, OCTETS_ENREGISTRES);
    }
    return true;
  }

 private:
  DisqueFuzz(uint64_t nombre, uint16_t taille)
      : Disque(200, geometrieDe(nombre, taille)),
        physiques_(nombre > UINT64_MAX - 4096 ? UINT64_MAX : nombre + 4096) {}

  uint64_t physiques_;
  std::map<uint64_t, const uint8_t*> secteurs_;
};
