#include "storage/gpt.h"

#include <zlib.h>

#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/memoire.h"
#include "core/texte.h"

namespace {

const size_t TAILLE_TEXTE_GUID = 37;

struct T_GUID {
  uint8_t octets[TAILLE_GUID];
};

constexpr uint8_t chiffreHexa(char c) {
  return static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10);
}

// The usual text "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" to the on-disk bytes:
// the first three groups little-endian, the last two in order.
constexpr T_GUID guidDeTexte(const char* texte) {
  T_GUID guid{};
  uint8_t groupe[TAILLE_GUID] = {};
  size_t n = 0;
  for (size_t i = 0; texte[i] != '\0'; ++i) {
    if (texte[i] == '-') continue;
    groupe[n / 2] = static_cast<uint8_t>((groupe[n / 2] << 4) | chiffreHexa(texte[i]));
    ++n;
  }
  const size_t ordre[TAILLE_GUID] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (size_t i = 0; i < TAILLE_GUID; ++i) guid.octets[i] = groupe[ordre[i]];
  return guid;
}

struct T_TypeGPT {
  T_GUID guid;
  const char* nom;
};

// Searched in this order; the basic data type's name is left to its users.
constexpr T_TypeGPT typesGPT[] = {
    {guidDeTexte("00000000-0000-0000-0000-000000000000"), "empty"},
    {guidDeTexte("024DEE41-33E7-11D3-9D69-0008C781F39F"), "MBR partition"},
    {guidDeTexte("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), "EFI file system"},
    {guidDeTexte("21686148-6449-6E6F-744E-656564454649"), "BIOS boot"},
    {guidDeTexte("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"), ""},
    {guidDeTexte("E3C9E316-0B5C-4DB8-817D-F92DF00215AE"), "Windows reserved"},
    {guidDeTexte("5808C8AA-7E8F-42E0-85D2-E1E90434CFB3"), "Windows dynamic meta"},
    {guidDeTexte("AF9B60A0-1431-4F62-BC68-3311714A69AD"), "Windows dynamic data"},
    {guidDeTexte("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC"), "Windows recovery"},
    {guidDeTexte("37AFFC90-EF7D-4E96-91C3-2D7AE055B174"), "IBM GPFS"},
    {guidDeTexte("75894C1E-3AEB-11D3-B7C1-7B03A0000000"), "HPUX data"},
    {guidDeTexte("E2A1E728-32E3-11D6-A682-7B03A0000000"), "HPUX service"},
    {guidDeTexte("A19D880F-05FC-4D3B-A006-743F0F84911E"), "Linux RAID"},
    {guidDeTexte("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"), "Linux swap"},
    {guidDeTexte("E6D6D379-F507-44C2-A23C-238F2A3DF928"), "Linux LVM"},
    {guidDeTexte("8DA63339-0007-60C0-C436-083AC8230908"), "Linux reserved"},
    {guidDeTexte("83BD6B9D-7F41-11DC-BE0B-001560B84F0F"), "FreeBSD boot"},
    {guidDeTexte("516E7CB4-6ECF-11D6-8FF8-00022D09712B"), "FreeBSD data"},
    {guidDeTexte("516E7CB5-6ECF-11D6-8FF8-00022D09712B"), "FreeBSD swap"},
    {guidDeTexte("516E7CB6-6ECF-11D6-8FF8-00022D09712B"), "FreeBSD UFS"},
    {guidDeTexte("516E7CB8-6ECF-11D6-8FF8-00022D09712B"), "FreeBSD VVM"},
    {guidDeTexte("516E7CBA-6ECF-11D6-8FF8-00022D09712B"), "FreeBSD ZFS"},
    {guidDeTexte("48465300-0000-11AA-AA11-00306543ECAC"), "Apple HSF"},
    {guidDeTexte("55465300-0000-11AA-AA11-00306543ECAC"), "Apple UFS"},
    {guidDeTexte("6A898CC3-1DD2-11B2-99A6-080020736631"), "ZFS"},
    {guidDeTexte("52414944-0000-11AA-AA11-00306543ECAC"), "Apple RAID"},
    {guidDeTexte("52414944-5F4F-11AA-AA11-00306543ECAC"), "Apple RAID offline"},
    {guidDeTexte("426F6F74-0000-11AA-AA11-00306543ECAC"), "Apple boot"},
    {guidDeTexte("4C616265-6C00-11AA-AA11-00306543ECAC"), "Apple label"},
    {guidDeTexte("5265636F-7665-11AA-AA11-00306543ECAC"), "Apple recovery"},
    {guidDeTexte("6A82CB45-1DD2-11B2-99A6-080020736631"), "Solaris boot"},
    {guidDeTexte("6A85CF4D-1DD2-11B2-99A6-080020736631"), "Solaris root"},
    {guidDeTexte("6A87C46F-1DD2-11B2-99A6-080020736631"), "Solaris swap"},
    {guidDeTexte("6A8B642B-1DD2-11B2-99A6-080020736631"), "Solaris backup"},
    {guidDeTexte("6A8EF2E9-1DD2-11B2-99A6-080020736631"), "Solaris /var"},
    {guidDeTexte("6A90BA39-1DD2-11B2-99A6-080020736631"), "Solaris /home"},
    {guidDeTexte("6A9283A5-1DD2-11B2-99A6-080020736631"), "Solaris alternate"},
    {guidDeTexte("6A945A3B-1DD2-11B2-99A6-080020736631"), "Solaris reserved1"},
    {guidDeTexte("6A9630D1-1DD2-11B2-99A6-080020736631"), "Solaris reserved2"},
    {guidDeTexte("6A980767-1DD2-11B2-99A6-080020736631"), "Solaris reserved3"},
    {guidDeTexte("6A96237F-1DD2-11B2-99A6-080020736631"), "Solaris reserved4"},
    {guidDeTexte("6A8D2AC7-1DD2-11B2-99A6-080020736631"), "Solaris reserved5"},
    {guidDeTexte("49F48D32-B10E-11DC-B99B-0019D1879648"), "NetBSD swap"},
    {guidDeTexte("49F48D5A-B10E-11DC-B99B-0019D1879648"), "NetBSD FFS"},
    {guidDeTexte("49F48D82-B10E-11DC-B99B-0019D1879648"), "NetBSD LSF"},
    {guidDeTexte("49F48DAA-B10E-11DC-B99B-0019D1879648"), "NetBSD RAID"},
    {guidDeTexte("2DB519C4-B10F-11DC-B99B-0019D1879648"), "NetBSD concatenated"},
    {guidDeTexte("2DB519EC-B10F-11DC-B99B-0019D1879648"), "NetBSD encrypted"},
};
static_assert(sizeof typesGPT / sizeof typesGPT[0] == 48, "48 GPT types");

// Sectors of the entry array the header describes, and whether the array
// starting at its sector ends at or before limite (no sum that wraps).
bool tableauAvant(const T_EnteteGPT* entete, uint32_t tailleSecteur, uint64_t limite) {
  TRACER_APPEL();
  uint64_t secteurs = 0;
  if (!secteursTableauGPT(entete->nombreEntrees.lire(), TAILLE_ENTREE_GPT, tailleSecteur,
                          &secteurs, nullptr))
    return false;
  uint64_t debut = entete->secteurEntrees.lire();
  return debut <= limite && secteurs <= limite - debut;
}

}  // namespace

bool secteursTableauGPT(uint32_t nombreEntrees, uint32_t tailleEntree, uint32_t tailleSecteur,
                        uint64_t* secteurs, uint32_t* octets) {
  TRACER_APPEL();
  uint64_t total = uint64_t{nombreEntrees} * tailleEntree;
  if (tailleSecteur == 0 || total > TAILLE_MAX_TABLEAU_GPT) return false;
  if (secteurs) *secteurs = divArrondiHaut64(total, tailleSecteur);
  if (octets) *octets = static_cast<uint32_t>(total);
  return true;
}

bool verifierEnteteGPT(T_EnteteGPT* entete, uint32_t tailleSecteur, uint64_t secteurAttendu,
                       const T_EnteteGPT* autre) {
  TRACER_APPEL();
  if (entete->signature.lire() != SIGNATURE_GPT) return false;
  if (entete->revision.lire() != REVISION_GPT) return false;
  if (entete->reserve.lire() != 0) return false;
  uint32_t taille = entete->tailleEntete.lire();
  if (taille > tailleSecteur || taille < TAILLE_MIN_ENTETE_GPT) return false;
  uint64_t premierUtilisable = entete->premierSecteurUtilisable.lire();
  uint64_t dernierUtilisable = entete->dernierSecteurUtilisable.lire();
  if (premierUtilisable > dernierUtilisable) return false;
  if (entete->secteurCourant.lire() != secteurAttendu) return false;
  if (entete->tailleEntree.lire() != TAILLE_ENTREE_GPT) return false;
  if (autre == nullptr) {
    // The primary's array lies between its header and the usable area.
    if (entete->secteurEntrees.lire() < 2) return false;
    if (!tableauAvant(entete, tailleSecteur, premierUtilisable)) return false;
  } else {
    if (taille != autre->tailleEntete.lire()) return false;
    if (premierUtilisable != autre->premierSecteurUtilisable.lire()) return false;
    if (dernierUtilisable != autre->dernierSecteurUtilisable.lire()) return false;
    if (memcmp(entete->guidDisque, autre->guidDisque, TAILLE_GUID) != 0) return false;
    if (entete->nombreEntrees.lire() != autre->nombreEntrees.lire()) return false;
    if (autre->tailleEntree.lire() != TAILLE_ENTREE_GPT) return false;
    if (entete->crcEntrees.lire() != autre->crcEntrees.lire()) return false;
    // The backup's array lies between the usable area and the backup header.
    if (dernierUtilisable >= entete->secteurEntrees.lire()) return false;
    if (entete->secteurAlternatif.lire() != 1) return false;
    if (!tableauAvant(entete, tailleSecteur, entete->secteurCourant.lire())) return false;
  }
  uint32_t crcStocke = entete->crcEntete.lire();
  entete->crcEntete.ecrire(0);
  uint32_t crcCalcule = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(entete), taille));
  entete->crcEntete.ecrire(crcStocke);
  return crcCalcule == crcStocke;
}

char* texteGUID(const uint8_t* guid) {
  TRACER_APPEL();
  // "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X" of the three
  // little-endian values and the eight bytes, written digit by digit: the
  // report prints two of them per GPT partition.
  static const uint8_t ORDRE[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static const char CHIFFRES[] = "0123456789ABCDEF";
  char* texte = static_cast<char*>(xmalloc(TAILLE_TEXTE_GUID));
  char* c = texte;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *c++ = '-';
    const uint8_t octet = guid[ORDRE[i]];
    *c++ = CHIFFRES[octet >> 4];
    *c++ = CHIFFRES[octet & 15];
  }
  *c = '\0';
  return texte;
}

char* nomTypeGPT(const uint8_t* guid) {
  TRACER_APPEL();
  for (const T_TypeGPT& type : typesGPT)
    if (memcmp(type.guid.octets, guid, TAILLE_GUID) == 0) return xstrdup(type.nom);
  return xstrdup("Unknown");
}
