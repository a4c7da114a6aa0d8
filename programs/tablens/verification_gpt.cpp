// The GPT verification of tablens: both headers and entry arrays read
// again, the first fault named, each GPT partition checked against the
// usable area; a refused header is dumped field by field.
#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/format.h"
#include "core/formats.h"
#include "core/memoire.h"
#include "core/texte.h"
#include "programs/tablens/tablens.h"
#include "storage/disque.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/texte_alloue.h"

namespace {

const char* const CORRECT = "correct";
const char* const FAUX = "wrong";
const char* const NON_VERIFIE = "not checked";
const char* const DIFFERENT = "different in backup";
const char* const SUFFIXE_DIFFERENT = " (different in backup)";

uint64_t somme(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// Sectors of the entry array the header describes, in 64 bits (a damaged
// header may ask for any size).
uint64_t secteursTableau(const T_EnteteGPT* h, uint32_t tailleSecteur) {
  TRACER_APPEL();
  const uint64_t octets = uint64_t{h->nombreEntrees.lire()} * h->tailleEntree.lire();
  return tailleSecteur == 0 ? 0 : divArrondiHaut64(octets, tailleSecteur);
}

// A zeroed buffer of one sector, never shorter than a header.
T_EnteteGPT* allouerEntete(uint32_t tailleSecteur) {
  TRACER_APPEL();
  size_t taille = tailleSecteur < sizeof(T_EnteteGPT) ? sizeof(T_EnteteGPT) : tailleSecteur;
  void* tampon = xmalloc(taille);
  memset(tampon, 0, taille);
  return static_cast<T_EnteteGPT*>(tampon);
}

}  // namespace

void afficherEnteteGPT(uint32_t tailleSecteur, T_EnteteGPT* h, const T_EnteteGPT* o,
                       uint64_t secteurAttendu) {
  TRACER_APPEL();
  const uint32_t tailleEntete = h->tailleEntete.lire();
  const uint64_t premier = h->premierSecteurUtilisable.lire();
  const uint64_t dernier = h->dernierSecteurUtilisable.lire();
  const uint64_t tableau = h->secteurEntrees.lire();
  const uint64_t finTableau = somme(tableau, secteursTableau(h, tailleSecteur));
  const char* base = premier <= dernier ? CORRECT : FAUX;
  const bool tailleValide = tailleEntete >= TAILLE_MIN_ENTETE_GPT && tailleEntete <= tailleSecteur;

  const char* verdictTaille = tailleValide ? CORRECT : FAUX;
  if (o != nullptr && tailleEntete != o->tailleEntete.lire()) verdictTaille = DIFFERENT;

  char* verdictCrc = nullptr;
  const uint32_t crcStocke = h->crcEntete.lire();
  if (tailleValide) {
    h->crcEntete.ecrire(0);
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(h), tailleEntete));
    h->crcEntete.ecrire(crcStocke);
    verdictCrc = crc == crcStocke ? texteFormate("%s", CORRECT)
                                  : texteFormate("wrong, expected 0x%08x", crc);
  }

  const char* verdictAutre;
  const char* verdictPremier;
  const char* verdictDernier;
  const char* verdictTableau;
  const char* suffixeGuid = "";
  const char* suffixeNombre = "";
  const char* suffixeCrc = "";
  if (o == nullptr) {
    verdictAutre = NON_VERIFIE;
    verdictPremier = premier < finTableau ? FAUX : base;
    verdictDernier = base;
    verdictTableau = tableau < 2 || premier < finTableau ? FAUX : CORRECT;
  } else {
    verdictAutre = h->secteurAlternatif.lire() == 1 ? CORRECT : FAUX;
    verdictPremier = premier != o->premierSecteurUtilisable.lire() ? DIFFERENT : base;
    verdictDernier = dernier >= tableau                            ? FAUX
                     : dernier != o->dernierSecteurUtilisable.lire() ? DIFFERENT
                                                                     : base;
    verdictTableau = dernier >= tableau || finTableau > secteurAttendu ? FAUX : CORRECT;
    if (memcmp(h->guidDisque, o->guidDisque, TAILLE_GUID) != 0) suffixeGuid = SUFFIXE_DIFFERENT;
    if (h->nombreEntrees.lire() != o->nombreEntrees.lire()) suffixeNombre = SUFFIXE_DIFFERENT;
    if (h->crcEntrees.lire() != o->crcEntrees.lire()) suffixeCrc = SUFFIXE_DIFFERENT;
  }
  char* guid = texteGUID(h->guidDisque);
  afficherMessage(
      "  signature: 0x%016" FMT_L64 "x (%s)\n  revision: 0x%08x (%s)\n  header size: %u (%s)\n"
      "  header CRC: 0x%08x (%s)\n  reserved: 0x%08x (%s)\n  current sector: " FMT_U64 " (%s)\n"
      "  other sector: " FMT_U64 " (%s)\n  first usable sector: " FMT_U64 " (%s)\n"
      "  last usable sector: " FMT_U64 " (%s)\n  disk GUID: %s%s\n"
      "  partitions entries sector: " FMT_U64 " (%s)\n  number of partition entries: %u%s\n"
      "  partition entries size: %u (%s)\n  partition entries CRC: 0x%08x%s",
      h->signature.lire(), h->signature.lire() == SIGNATURE_GPT ? CORRECT : FAUX,
      h->revision.lire(), h->revision.lire() == REVISION_GPT ? CORRECT : FAUX, tailleEntete,
      verdictTaille, crcStocke, verdictCrc != nullptr ? verdictCrc : NON_VERIFIE,
      h->reserve.lire(), h->reserve.lire() == 0 ? CORRECT : FAUX, h->secteurCourant.lire(),
      h->secteurCourant.lire() == secteurAttendu ? CORRECT : FAUX, h->secteurAlternatif.lire(),
      verdictAutre, premier, verdictPremier, dernier, verdictDernier, guid, suffixeGuid, tableau,
      verdictTableau, h->nombreEntrees.lire(), suffixeNombre, h->tailleEntree.lire(),
      h->tailleEntree.lire() == TAILLE_ENTREE_GPT ? CORRECT : FAUX, h->crcEntrees.lire(),
      suffixeCrc);
  free(guid);
  free(verdictCrc);
}

namespace {

// A partition's last sector. An entry that ends before it starts was given
// no sector at all: the report names the last sector its entry holds.
uint64_t dernierSecteur(const Partition* p, const uint8_t* tableau, uint32_t octets) {
  TRACER_APPEL();
  const uint64_t n = p->nombreSecteurs();
  const int32_t k = p->numero();
  if (n != 0 || p->identifiant().type() != ID_PARTITION_GPT || k < 1 ||
      static_cast<uint64_t>(k) * TAILLE_ENTREE_GPT > octets)
    return p->premierSecteur() + n - 1;
  const T_EntreeGPT* e = reinterpret_cast<const T_EntreeGPT*>(
      tableau + static_cast<size_t>(k - 1) * TAILLE_ENTREE_GPT);
  return e->dernierSecteur.lire();
}

// Steps after both headers were accepted: the two arrays, then the
// partitions against the usable area. Returns whether a problem was told.
bool verifierTableaux(Disque* disque, const T_EnteteGPT* primaire, const T_EnteteGPT* secours,
                      const T_ListePartitions* liste, bool signale) {
  TRACER_APPEL();
  const uint32_t z = disque->tailleSecteur();
  uint64_t secteurs = 0;
  uint32_t octets = 0;
  // Valid headers hold at most the reader's cap, so A fits 32 bits and the
  // buffers stay small.
  if (!secteursTableauGPT(primaire->nombreEntrees.lire(), primaire->tailleEntree.lire(), z,
                          &secteurs, &octets))
    return true;
  const uint32_t a = static_cast<uint32_t>(secteurs);
  const size_t taille = static_cast<size_t>(a) * z;
  uint8_t* tableauPrimaire = static_cast<uint8_t*>(xmalloc(taille == 0 ? 1 : taille));
  uint8_t* tableauSecours = static_cast<uint8_t*>(xmalloc(taille == 0 ? 1 : taille));
  bool suite = false;
  const uint64_t debutPrimaire = primaire->secteurEntrees.lire();
  const uint64_t debutSecours = secours->secteurEntrees.lire();
  if (!disque->lire(debutPrimaire, a, tableauPrimaire, nullptr)) {
    afficherMessage("Error: the GPT partitions description cannot be read (%u sectors\nfrom sector "
                    FMT_U64 ").\n", a, debutPrimaire);
  } else if (!disque->lire(debutSecours, a, tableauSecours, nullptr)) {
    afficherMessage("Error: the backup GPT partitions description cannot be read (%u sectors\n"
                    "from sector " FMT_U64 ").\n", a, debutSecours);
  } else if (memcmp(tableauPrimaire, tableauSecours, octets) != 0) {
    afficherMessage("Error: the GPT partitions description is not coherent with its backup.\n");
  } else {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, tableauPrimaire, octets));
    if (crc != primaire->crcEntrees.lire()) {
      afficherMessage("Error: the GPT partitions description CRC is wrong (stored 0x%08x,\n"
                      "expected 0x%08x).\n", primaire->crcEntrees.lire(), crc);
    } else if (liste == nullptr) {
      afficherMessage("The reason why GUID partitions table is not recognised cannot be found.\n");
    } else {
      suite = true;
    }
  }
  free(tableauSecours);
  if (!suite) {
    free(tableauPrimaire);
    return true;
  }

  const uint64_t premierUtilisable = primaire->premierSecteurUtilisable.lire();
  const uint64_t dernierUtilisable = primaire->dernierSecteurUtilisable.lire();
  for (size_t i = 0; i < liste->count(); ++i) {
    const Partition* p = (*liste)[i];
    const unsigned k = static_cast<unsigned>(p->numero());
    const uint64_t f = p->premierSecteur();
    const uint64_t l = dernierSecteur(p, tableauPrimaire, octets);
    if (l < f) {
      afficherMessage("Error: partition %u has its first sector (" FMT_U64 ") after its last one\n("
                      FMT_U64 ").\n", k, f, l);
      signale = true;
    }
    // A hybrid MBR's entries are no GPT partitions: the area before the
    // usable one is theirs.
    if (p->identifiant().type() == ID_PARTITION_GPT && f < premierUtilisable) {
      afficherMessage("Error: partition %u has its first sector (" FMT_U64 ") before first usable\n"
                      "one (" FMT_U64 ").\n", k, f, premierUtilisable);
      signale = true;
    }
    if (l > dernierUtilisable) {
      afficherMessage("Error: partition %u has its last sector (" FMT_U64 ") after last usable\n"
                      "one (" FMT_U64 ").\n", k, l, dernierUtilisable);
      signale = true;
    }
  }
  free(tableauPrimaire);
  return signale;
}

}  // namespace

void verifierGPT(Disque* disque, const T_ListePartitions* liste, bool etendreTaille) {
  TRACER_APPEL();
  const uint32_t z = disque->tailleSecteur();
  afficherMessage("Checking GPT definitions:\n");
  if (liste == nullptr)
    afficherMessage("Disk seems to use GUID partitions table, but this one is not recognised.\n");
  T_EnteteGPT* primaire = allouerEntete(z);
  T_EnteteGPT* secours = allouerEntete(z);
  bool signale = true;
  if (!disque->lire(1, 1, primaire, nullptr)) {
    afficherMessage("Error: the GPT description cannot be read (sector " FMT_U64 ").\n",
                    uint64_t{1});
  } else if (!verifierEnteteGPT(primaire, z, 1, nullptr)) {
    afficherMessage("Error: the GPT description is wrong:\n");
    afficherEnteteGPT(z, primaire, nullptr, 1);
  } else {
    const uint64_t a = primaire->secteurAlternatif.lire();
    const uint64_t l = disque->nombreSecteurs() - 1;
    signale = a != l;
    if (a < l && etendreTaille) {
      afficherMessage("Warning: the GPT backup description is before last sector of disk\n("
                      FMT_U64 " < " FMT_U64 "). This will work but it is not expected\nas you use "
                      "the -tds option. Nevertheless it is better to use the\nTalvermoss version "
                      "that runs on the OS that was used to create these\npartitions.\n", a, l);
    } else if (a < l) {
      afficherMessage("Warning: the GPT backup description is before last sector of disk\n("
                      FMT_U64 " < " FMT_U64 "). This will work and if you use the -tds option,\n"
                      "disk size will be lowered to match this size such as it appears to have the"
                      "\nsame size whichever OS is used. Nevertheless it is better to use the\n"
                      "Talvermoss version that runs on the OS that was used to create these\n"
                      "partitions.\n", a, l);
    } else if (a > l && etendreTaille) {
      afficherMessage("Error: the GPT backup description is after last sector of disk\n(" FMT_U64
                      " > " FMT_U64 "). As you use the -tds option, it means\nprogram was not able "
                      "to read this sector, so it is better to use the\nTalvermoss version that "
                      "runs on the OS that was used to create these\npartitions.\n", a, l);
    } else if (a > l) {
      afficherMessage("Error: the GPT backup description is after last sector of disk\n(" FMT_U64
                      " > " FMT_U64 "), reading it will certainly fail.\n", a, l);
    }
    if (!disque->lire(a, 1, secours, nullptr)) {
      afficherMessage("Error: the GPT backup description cannot be read (sector " FMT_U64 ").\n",
                      a);
      afficherIndication(etendreTaille);
      signale = true;
    } else if (!verifierEnteteGPT(secours, z, a, primaire)) {
      afficherMessage("Error: the GPT backup description is wrong:\n");
      afficherEnteteGPT(z, secours, primaire, a);
      signale = true;
    } else {
      signale = verifierTableaux(disque, primaire, secours, liste, signale);
    }
  }
  if (!signale) afficherMessage("No error was found in GPT description.\n");
  free(primaire);
  free(secours);
}
