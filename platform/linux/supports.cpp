// The Linux side of the support descriptions: device-name columns and the
// Linux wording of the list headers and helps; no opening refusal and no
// BIOS geometry.
#include "core/arbre_appel.h"
#include "core/format.h"
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
    "* Linux devices: devices declared in /etc/fstab that are not hard disk\n"
    "partitions, as RAM disks or network block devices. Partitions of hard\n"
    "disks are also available through this option, but it is better to use\n"
    "disk option.\n\n"
    "* Raw file: it is any file considered as a byte-to-byte image of a support.\n"
    "This kind of file can be obtained through some utilities as dd or rawwrite.\n"
    "Program considers two kinds of raw files: those that are of a partitioned\n"
    "support, considered as a disk raw file, and those of a stand-alone support\n"
    "(partition, floppy, device), considered as a drive raw file. Distinction is\n"
    "done through content of first sector. As a raw file does not give any\n"
    "physical definition, this one is deduced from file content or a default one\n"
    "is used. A raw file shall have a size multiple of 512 bytes or of sector's\n"
    "size if this one could be obtained from file content.\n\n"
    "If \"Linux devices\" and \"Raw file\" are the only options that appear,\n"
    "it is perhaps because you do not have root access.";

constexpr const char* AIDE_DISQUE =
    "This window requests you what you want to save of the disk:\n\n"
    "* All sectors: every sector of the disk, partitioned or not.\n\n"
    "* Master boot record: the first sector of the disk only.\n\n"
    "* First sectors: the sectors before the first partition.\n\n"
    "* Partition table: the master boot record and the sectors of the\n"
    "extended partitions' tables.\n\n"
    "* The partitions, one line each:\n"
    "  - \"Main part.\": a main partition, with its number in the table;\n"
    "  - \"Extended\": a logical partition, with the number of the extended\n"
    "    partition that holds it;\n"
    "  - \"Device\": the name under which the system knows the partition;\n"
    "  - \"Element type\": the partition type;\n"
    "  - \"Name\": the volume name.\n\n"
    "A disk whose table shows no partition, or only one \"GUID part. table\",\n"
    "may have an invalid partition table: tablens can check it. Its -tds option\n"
    "tests whether the disk size can be increased to the partitions' size.";

}  // namespace

const T_TextesSupports textesSupports = {
    "    |                        |         ",
    "Dis | Support                | Device   | Id. | Size(GB)   | Name",
    AIDE_SUPPORT,
    "%3u | disk                   |         ",
    "Support      | Device   | Element type         | Size (GB)  | Name",
    AIDE_DISQUE,
};

char* texteColonnesPartition(const Partition* partition, bool ligneChoix) {
  TRACER_APPEL();
  const char* peripherique = partition->nomPeripherique();
  if (peripherique) return texteFormate("%-8.8s", peripherique);
  if (ligneChoix) {
    char numero[16];
    formaterMessage(numero, sizeof numero, "%u", static_cast<unsigned>(partition->numero()));
    return texteFormate("%-8.8s", numero);
  }
  return texteFormate("%-8.8s", "");
}

const char* lecteurPartition(const Partition* partition) { return partition->nomPeripherique(); }

const char* refusOuverturePartition(const Partition*) { return nullptr; }

bool candidatGeometrieBios(uint8_t, int*, int*) { return false; }
