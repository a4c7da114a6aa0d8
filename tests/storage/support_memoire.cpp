#include "support_memoire.h"

#include <cstring>

std::vector<std::string> SupportMemoire::supprimes;
std::vector<std::string> messagesRecus;

void rappelTest(const char* message) { messagesRecus.push_back(message); }

SupportMemoire::SupportMemoire(uint64_t nombreSecteurs, uint16_t tailleSecteur, int32_t acces,
                               uint64_t secteursParPiste, uint64_t tetes)
    : Support_Bloc(tailleSecteur, 0, nombreSecteurs, secteursParPiste, tetes,
                   tetes && secteursParPiste ? nombreSecteurs / (tetes * secteursParPiste) : 0,
                   acces, 0xF8, 0x80) {}

SupportMemoire::~SupportMemoire() { supprimes.push_back(nom); }

uint8_t SupportMemoire::motif(uint64_t secteur, size_t octet) {
  if (octet < 8) return static_cast<uint8_t>(secteur >> (8 * octet));
  return static_cast<uint8_t>(secteur * 7 + octet);
}

uint64_t SupportMemoire::secteurLu(const uint8_t* image) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | image[i];
  return v;
}

const char* SupportMemoire::ouvrir() {
  ++ouvertures;
  const char* refus = Support_Bloc::ouvrir();
  return refus ? refus : refusOuvrir;
}

bool SupportMemoire::lireSecteurs(uint64_t premier, uint32_t nombre, void* tampon,
                                  T_RappelMessage) {
  journal.push_back({false, premier, nombre});
  uint8_t* octets = static_cast<uint8_t*>(tampon);
  bool reussi = true;
  for (uint32_t i = 0; i < nombre; ++i) {
    uint64_t s = premier + i;
    uint8_t* image = octets + static_cast<size_t>(i) * tailleSecteur_;
    if (echecs.count(s)) {
      memset(image, 0xEE, tailleSecteur_);  // what a failed transfer leaves
      reussi = false;
    } else if (ecrits.count(s)) {
      memcpy(image, ecrits[s].data(), tailleSecteur_);
    } else {
      for (size_t j = 0; j < tailleSecteur_; ++j) image[j] = motif(s, j);
    }
  }
  return reussi;
}

bool SupportMemoire::ecrireSecteurs(uint64_t premier, uint32_t nombre, const void* donnees,
                                    T_RappelMessage) {
  journal.push_back({true, premier, nombre});
  const uint8_t* octets = static_cast<const uint8_t*>(donnees);
  bool reussi = true;
  for (uint32_t i = 0; i < nombre; ++i) {
    uint64_t s = premier + i;
    if (echecs.count(s)) {
      reussi = false;
      continue;
    }
    const uint8_t* image = octets + static_cast<size_t>(i) * tailleSecteur_;
    ecrits[s].assign(image, image + tailleSecteur_);
  }
  return reussi;
}
