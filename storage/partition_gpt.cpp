// Partition_GPT: a partition of a GUID partition table, with its type and
// unique GUIDs and its attribute bits.
#include <cstdlib>
#include <cstring>

#include "core/arbre_appel.h"
#include "core/memoire.h"
#include "storage/file_header.h"
#include "storage/gpt.h"
#include "storage/partition.h"
#include "storage/support_bloc_manager.h"

namespace {

// Where a GPT partition's header keeps its type GUID: bytes 0-2 in the disk
// block's spare bytes, 3-15 over the partition block's CHS part.
const size_t TYPE_GPT_DEBUT = 69;
const size_t TYPE_GPT_SUITE = 73;
const size_t TYPE_GPT_OCTETS_DEBUT = 3;

}  // namespace

Partition_GPT::Partition_GPT(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                             uint64_t attributs, const uint8_t* guidType, const uint8_t* guidUnique)
    : Partition(disque, ID_PARTITION_GPT, numero, entree, nullptr), attributs_(attributs), enCache_(0) {
  TRACER_APPEL();
  memcpy(guidType_, guidType, TAILLE_GUID);
  memcpy(guidUnique_, guidUnique, TAILLE_GUID);
}

Partition_GPT::~Partition_GPT() {
  TRACER_APPEL();
  fermerAcces();
}

Partition_GPT* Partition_GPT::creer(Disque* disque, int32_t numero, const T_InfoPartition& entree,
                                    uint64_t attributs, const uint8_t* guidType,
                                    const uint8_t* guidUnique) {
  TRACER_APPEL();
  Support_Bloc::T_Identifiant identifiant(ID_PARTITION_GPT, &disque->identifiant(), numero);
  Support_Bloc* trouve = SupportBlocManager::findSupport(identifiant);
  if (trouve) {
    Partition_GPT* partition = dynamic_cast<Partition_GPT*>(trouve);
    if (partition) return partition;
    // Not ours to keep: give back the reference the search took.
    trouve->liberer(0);
  }
  if (!fenetreValide(entree)) return nullptr;
  return new Partition_GPT(disque, numero, entree, attributs, guidType, guidUnique);
}

Partition_GPT* Partition_GPT::acquerir(int drapeaux) {
  TRACER_APPEL();
  Partition::acquerir(drapeaux);
  return this;
}

const Partition_GPT* Partition_GPT::acquerirConst(int drapeaux) const {
  TRACER_APPEL();
  Partition::acquerirConst(drapeaux);
  return this;
}

void Partition_GPT::remplirInfo(T_FileHeader* entete) const {
  TRACER_APPEL();
  Partition::remplirInfo(entete);
  uint8_t* octets = reinterpret_cast<uint8_t*>(entete);
  memcpy(octets + TYPE_GPT_DEBUT, guidType_, TYPE_GPT_OCTETS_DEBUT);
  memcpy(octets + TYPE_GPT_SUITE, guidType_ + TYPE_GPT_OCTETS_DEBUT,
         TAILLE_GUID - TYPE_GPT_OCTETS_DEBUT);
}

const char* Partition_GPT::retirerDuCache() {
  TRACER_APPEL();
  enCache_ = 0;
  return Partition::retirerDuCache();
}

bool Partition_GPT::estFATOuCache() const { return false; }

bool Partition_GPT::estFAT() const { return false; }

bool Partition_GPT::estNTFS() const { return false; }

bool Partition_GPT::estLinux() const { return false; }

bool Partition_GPT::estEtendue() const { return false; }

bool Partition_GPT::estEtendueDOS() const { return false; }

char* Partition_GPT::texteType() const {
  TRACER_APPEL();
  char* nom = nomTypeGPT(guidType_);
  if (*nom != '\0') return nom;
  // The basic data type has no name of its own in the table.
  free(nom);
  return xstrdup("Data");
}
