// The Windows side of the support descriptions and of a partition's opening:
// partition number and drive-letter columns, the Windows wording of the list
// headers and helps, no extended main partition before XP, and the BIOS
// geometry of a 9x disk.
#include <cstring>

#include "core/arbre_appel.h"
#include "platform/windows/services.h"
#include "platform/windows/transferts.h"
#include "platform/windows/vwin32.h"
#include "storage/chs.h"
#include "storage/partition.h"
#include "storage/plateforme.h"
#include "storage/texte_alloue.h"

namespace {

constexpr const char* AIDE_SUPPORT =
    "This window requests you support where is element to save:\n\n"
    "* Disk number <n> (<size>, <access type>): hard disk of the given size.\n"
    "Access type is only informative (standard access type is limited to\n"
    "8 Gb, extended one is not).\n\n"
    "* Floppy drive number <n> (<format>): floppy drive of the given format\n"
    "(5\"1/4 or 3\"1/2).\n\n"
    "* Windows devices: Windows drives that are not on hard disk as RAM drives.\n"
    "Windows drives on hard disk are also available through this option, but it\n"
    "is better to use disk option.\n\n"
    "* Raw file: it is any file considered as a byte-to-byte image of a support.\n"
    "This kind of file can be obtained through some utilities as dd or rawwrite.\n"
    "Program considers two kinds of raw files: those that are of a partitioned\n"
    "support, considered as a disk raw file, and those of a stand-alone support\n"
    "(partition, floppy, device), considered as a drive raw file. Distinction is\n"
    "done through content of first sector. As a raw file does not give any\n"
    "physical definition, this one is deduced from file content or a default one\n"
    "is used. A raw file shall have a size multiple of 512 bytes or of sector's\n"
    "size if this one could be obtained from file content.\n\n"
    "If \"Windows devices\" and \"Raw file\" are the only options that appear,\n"
    "it is perhaps because you do not have administrative rights.";

constexpr const char* AIDE_DISQUE =
    "This window requests you support where is element to save:\n\n"
    "* disk - all sectors: save all sectors of disk. It could only be\n"
    "restored on a disk with the same physical definition.\n\n"
    "* disk - master boot record: save code of first sector of disk. This\n"
    "code is used to boot your computer from disk. The saving part does not\n"
    "include partition table part that is declared on this sector.\n\n"
    "* disk - first sectors: save all sectors before first partition\n"
    "including master boot record. This option is only needed in some rare\n"
    "case of multiboot programs that use these sectors to store their code.\n\n"
    "* disk - partitions table: save description of partition organization\n"
    "on disk. It could only be restored on a disk with the same physical\n"
    "definition.\n\n"
    "* partitions: \"Main part.\" are main partitions and \"Extended\" are\n"
    "extended partition (also known as logical partitions). Partitions are\n"
    "given in disk order. In case filesystem on partition is not recognized\n"
    "or is not valid, all sectors of partition will be saved and it could be\n"
    "restored only on a partition with the same physical definition.\n"
    "  - \"Num\": gives you number as known from within Linux.\n"
    "  - \"D.\": gives you the drive name but as known from DOS (so\n"
    "recognising only FAT partitions).\n"
    "  - \"Element type\": gives type of partition. Those marked as\n"
    "\"DOS/Win95/Linux extended part.\" are main partitions that group all\n"
    "following extended partitions (so not very useful to save).\n"
    "  - \"Name\": gives you volume name of the partition. If you do not\n"
    "know which partition is the one you want to save, go back to the\n"
    "corresponding OS and give it a name to easily identify it.\n\n"
    "If no partition or only one with GUID part. table type appears or last one\n"
    "is missing, it can mean the partition table seems invalid. You can use\n"
    "tablens tool to check this. In case it is due to the disk size is wrongly\n"
    "recognized by BIOS or OS, you can use the -tds option to test if disk size\n"
    "can be increased to partitions size. Even in this case, using the\n"
    "Talvermoss version that runs on OS used to create partitions is better.";

const char* const REFUS_ETENDUE = "Program cannot access main partition of extended type.";

const uint8_t BIOS_PARAMETRES = 0x08;

bool estCheminLecteur(const char* chemin) {
  return chemin != nullptr && chemin[0] != '\0' && chemin[1] == ':';
}

}  // namespace

const T_TextesSupports textesSupports = {
    "    |                        |     |   ",
    "Dis | Support                | Num | D. | Id. | Size(GB)   | Name",
    AIDE_SUPPORT,
    "%3u | disk                   |     |   ",
    "Support      | Num | D. | Element type         | Size (GB)  | Name",
    AIDE_DISQUE,
};

const char* Partition::cheminLecteur() const {
  TRACER_APPEL();
  if (estEtendue() || chemins_.count() == 0) return nullptr;
  if (cheminsPeripherique_.find(false) < cheminsPeripherique_.count()) return nullptr;
  const char* trouve = nullptr;
  for (size_t i = 0; i < chemins_.count(); ++i) {
    if (!estCheminLecteur(chemins_[i])) continue;
    if (trouve) return nullptr;  // several letters name no single drive
    trouve = chemins_[i];
  }
  return trouve;
}

char* texteColonnesPartition(const Partition* partition, bool) {
  TRACER_APPEL();
  const char* lecteur = partition->cheminLecteur();
  return texteFormate("%3u | %-2.2s", static_cast<unsigned>(partition->numero()),
                      lecteur ? lecteur : "");
}

const char* lecteurPartition(const Partition* partition) { return partition->cheminLecteur(); }

const char* refusOuverturePartition(const Partition* partition) {
  TRACER_APPEL();
  // Before XP the system gives no access to an extended main partition.
  if (partition->estEtendue() && !estWindowsXPOuPlus()) return REFUS_ETENDUE;
  return nullptr;
}

bool candidatGeometrieBios(uint8_t numero, int* secteurs, int* tetes) {
  TRACER_APPEL();
  if (estWindowsNT() || numero >= nombreDisques()) return false;
  DIOC_REGISTERS r;
  memset(&r, 0, sizeof r);
  r.reg_EAX = static_cast<uint32_t>(BIOS_PARAMETRES) << 8;
  r.reg_EDX = 0x80u + numero;
  appelerInterruption(0x13, &r);
  if (r.reg_Flags & DRAPEAU_RETENUE) return false;
  const unsigned lecteurs = r.reg_EDX & 0xFF;
  if (numero >= lecteurs) return false;
  uint16_t secteur = 0, cylindre = 0;
  decomposerCHS(static_cast<uint16_t>(r.reg_ECX), &secteur, &cylindre);
  const unsigned derniereTete = (r.reg_EDX >> 8) & 0xFF;
  if (secteur < 1 || secteur > 63) return false;
  *secteurs = secteur;
  *tetes = static_cast<int>(derniereTete) + 1;
  return true;
}
