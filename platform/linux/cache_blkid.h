// The blkid cache: which device carries which file-system label and UUID.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/string_array.h"
#include "core/tableau.h"

// Entry flags: another entry carries the same label, the same UUID.
const uint8_t BLKID_ETIQUETTE_DOUBLE = 1;
const uint8_t BLKID_UUID_DOUBLE = 2;

class CacheBlkid {
 public:
  // Adds the entries of a cache text of taille bytes. The text may be
  // damaged or cut short: nothing beyond its end is read, and a cut entry
  // ends the reading. Stale entries (DEVNO against the node) are dropped.
  void lire(const char* texte, size_t taille);
  // Reads the configured cache file; false when there is none to read.
  bool charger();

  // Device of a "LABEL=..." or "UUID=..." source; null when the value is
  // unknown, shared by two entries, or has no device.
  const char* peripheriqueDe(const char* source) const;

  size_t nombre() const { return peripheriques_.count(); }
  const char* peripherique(size_t i) const { return peripheriques_[i]; }
  const char* etiquette(size_t i) const { return etiquettes_[i]; }
  const char* uuid(size_t i) const { return uuids_[i]; }
  uint8_t drapeaux(size_t i) const { return drapeaux_[i]; }

 private:
  void ajouter(const char* peripherique, const char* etiquette, const char* uuid);

  StringArray peripheriques_;
  StringArray etiquettes_;  // null where absent
  StringArray uuids_;       // null where absent
  BasicArray<uint8_t, const uint8_t> drapeaux_;
};

// Cache path from BLKID_FILE, else from the CACHE_FILE= line of the
// configuration file (BLKID_CONF or /etc/blkid.conf); null when neither
// names one.
char* cheminCacheBlkid();

// Value with its "\ooo" octal escapes decoded.
char* decoderOctal(const char* valeur);
