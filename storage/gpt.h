// GUID partition table: header and entry layouts, header validation, GUID
// texts and type names.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/petit_boutien.h"

const uint64_t SIGNATURE_GPT = 0x5452415020494645ULL;  // "EFI PART"
const uint32_t REVISION_GPT = 0x00010000;
const uint32_t TAILLE_MIN_ENTETE_GPT = 92;
const uint32_t TAILLE_ENTREE_GPT = 128;
// Largest entry array accepted (8192 entries of 128 bytes); real tables hold
// 16 KiB. A header asking more is refused before anything is allocated.
const uint32_t TAILLE_MAX_TABLEAU_GPT = 1u << 20;
const size_t TAILLE_GUID = 16;

#pragma pack(push, 1)
struct T_EnteteGPT {
  T_LE64 signature;                 // SIGNATURE_GPT
  T_LE32 revision;                  // REVISION_GPT
  T_LE32 tailleEntete;              // 92 to the sector size
  T_LE32 crcEntete;                 // of tailleEntete bytes, this field as 0
  T_LE32 reserve;
  T_LE64 secteurCourant;            // where this header lies
  T_LE64 secteurAlternatif;         // where the other header lies
  T_LE64 premierSecteurUtilisable;
  T_LE64 dernierSecteurUtilisable;
  uint8_t guidDisque[TAILLE_GUID];
  T_LE64 secteurEntrees;            // first sector of the entry array
  T_LE32 nombreEntrees;
  T_LE32 tailleEntree;              // TAILLE_ENTREE_GPT
  T_LE32 crcEntrees;                // of nombreEntrees x tailleEntree bytes
};

struct T_EntreeGPT {
  uint8_t guidType[TAILLE_GUID];    // all zero: no type
  uint8_t guidUnique[TAILLE_GUID];  // all zero: unused entry
  T_LE64 premierSecteur;
  T_LE64 dernierSecteur;            // inclusive
  T_LE64 attributs;
  uint8_t nom[72];                  // UTF-16LE
};
#pragma pack(pop)

static_assert(sizeof(T_EnteteGPT) == 92, "T_EnteteGPT is 92 bytes");
static_assert(offsetof(T_EnteteGPT, secteurCourant) == 24, "T_EnteteGPT layout");
static_assert(offsetof(T_EnteteGPT, guidDisque) == 56, "T_EnteteGPT layout");
static_assert(offsetof(T_EnteteGPT, secteurEntrees) == 72, "T_EnteteGPT layout");
static_assert(offsetof(T_EnteteGPT, crcEntrees) == 88, "T_EnteteGPT layout");
static_assert(sizeof(T_EntreeGPT) == 128, "T_EntreeGPT is 128 bytes");
static_assert(offsetof(T_EntreeGPT, premierSecteur) == 32, "T_EntreeGPT layout");
static_assert(offsetof(T_EntreeGPT, attributs) == 48, "T_EntreeGPT layout");

// Sectors (and, when octets is not null, bytes) of an entry array, computed
// in 64 bits. False, with the outputs untouched, for a sector size of 0 or an
// array above TAILLE_MAX_TABLEAU_GPT (so never a product that wraps 32 bits).
bool secteursTableauGPT(uint32_t nombreEntrees, uint32_t tailleEntree, uint32_t tailleSecteur,
                        uint64_t* secteurs, uint32_t* octets);

// Whether the header is a valid primary (autre null) or a valid backup of the
// primary autre. The header starts a buffer of at least tailleSecteur bytes.
// Its CRC field is zeroed for the computation and restored.
bool verifierEnteteGPT(T_EnteteGPT* entete, uint32_t tailleSecteur, uint64_t secteurAttendu,
                       const T_EnteteGPT* autre);
// 16 bytes in on-disk order; newly allocated text of 36 characters.
char* texteGUID(const uint8_t* guid);
// Newly allocated name; "Unknown" when no row matches, the empty text for
// the basic data type.
char* nomTypeGPT(const uint8_t* guid);
