// Physical drives of the simulated Windows machine: the control codes the
// disk layer sends, each refused on its own by a fail directive, and the
// opening rules of read-only and busy drives.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/windows/appels_windows.h"
#include "sim/machine_windows.h"

namespace {

struct Code {
  const char* nom;
  DWORD code;
};
const Code codes[] = {
    {"IOCTL_DISK_GET_DRIVE_GEOMETRY", 0x70000},
    {"IOCTL_DISK_GET_DRIVE_GEOMETRY_EX", 0x700A0},
    {"IOCTL_DISK_GET_LENGTH_INFO", 0x7405C},
    {"IOCTL_DISK_GET_PARTITION_INFO", 0x74004},
    {"IOCTL_DISK_GET_PARTITION_INFO_EX", 0x70048},
    {"IOCTL_DISK_UPDATE_PROPERTIES", 0x70140},
    {"IOCTL_STORAGE_GET_DEVICE_NUMBER", 0x2D1080},
    {"IOCTL_STORAGE_QUERY_PROPERTY", 0x2D1400},
};

HANDLE ouvrir(const char* nom, DWORD acces, DWORD partage = FILE_SHARE_READ | FILE_SHARE_WRITE) {
  return appelsWindows.CreateFileA(nom, acces, partage, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr);
}

// One control code with a large output buffer; the bytes returned, or -1.
long demander(HANDLE h, DWORD code, std::vector<uint8_t>* sortie) {
  STORAGE_PROPERTY_QUERY q;
  memset(&q, 0, sizeof q);
  q.PropertyId = StorageAccessAlignmentProperty;
  q.QueryType = PropertyStandardQuery;
  sortie->assign(632, 0);
  DWORD rendus = 0;
  bool requete = code == 0x2D1400;
  if (!appelsWindows.DeviceIoControl(h, code, requete ? &q : nullptr, requete ? sizeof q : 0, sortie->data(),
                                     static_cast<DWORD>(sortie->size()), &rendus, nullptr))
    return -1;
  return static_cast<long>(rendus);
}

TEST(DisquesSimules, ReponsesDesCodesDeControle) {
  MachineTemporaire m;
  m.image("d.img", 64 << 20);
  // A protective MBR entry makes the drive a GPT one.
  std::string mbr(512, '\0');
  mbr[446 + 4] = '\xEE';
  mbr[510] = '\x55';
  mbr[511] = '\xAA';
  m.ecrire("g.img", mbr);
  m.machine("windows 10\n"
            "drive 0 d.img geo=8/255/63 pssz=4096 detect=exint13\n"
            "drive 1 g.img ssz=512 detect=int13 removable\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = ouvrir("\\\\.\\PhysicalDrive0", GENERIC_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> s;

  ASSERT_EQ(demander(h, 0x70000, &s), long(sizeof(DISK_GEOMETRY)));
  DISK_GEOMETRY g;
  memcpy(&g, s.data(), sizeof g);
  EXPECT_EQ(g.Cylinders.QuadPart, 8);
  EXPECT_EQ(g.TracksPerCylinder, 255u);
  EXPECT_EQ(g.SectorsPerTrack, 63u);
  EXPECT_EQ(g.BytesPerSector, 512u);
  EXPECT_EQ(g.MediaType, FixedMedia);

  long n = demander(h, 0x700A0, &s);
  ASSERT_GT(n, 40);
  DISK_GEOMETRY_EX ge;
  memcpy(&ge, s.data(), sizeof ge);
  EXPECT_EQ(ge.DiskSize.QuadPart, 64 << 20);
  DISK_PARTITION_INFO p;
  memcpy(&p, s.data() + 32, sizeof p);
  EXPECT_EQ(p.PartitionStyle, PARTITION_STYLE_RAW);
  DISK_DETECTION_INFO e;
  ASSERT_GE(size_t(n), 32 + p.SizeOfPartitionInfo + sizeof e);
  memcpy(&e, s.data() + 32 + p.SizeOfPartitionInfo, sizeof e);
  EXPECT_EQ(e.DetectionType, DetectExInt13);
  EXPECT_EQ(e.ExInt13.ExSectorsPerDrive, uint64_t(64 << 20) / 512);
  EXPECT_EQ(e.ExInt13.ExHeads, 255u);

  ASSERT_EQ(demander(h, 0x7405C, &s), 8);
  EXPECT_EQ(*reinterpret_cast<const int64_t*>(s.data()), 64 << 20);
  ASSERT_EQ(demander(h, 0x74004, &s), long(sizeof(PARTITION_INFORMATION)));
  ASSERT_EQ(demander(h, 0x70048, &s), long(sizeof(PARTITION_INFORMATION_EX)));
  ASSERT_EQ(demander(h, 0x2D1080, &s), long(sizeof(STORAGE_DEVICE_NUMBER)));
  STORAGE_DEVICE_NUMBER d;
  memcpy(&d, s.data(), sizeof d);
  EXPECT_EQ(d.DeviceType, DWORD(FILE_DEVICE_DISK));
  EXPECT_EQ(d.DeviceNumber, 0u);
  ASSERT_EQ(demander(h, 0x2D1400, &s), long(sizeof(STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR)));
  STORAGE_ACCESS_ALIGNMENT_DESCRIPTOR a;
  memcpy(&a, s.data(), sizeof a);
  EXPECT_EQ(a.BytesPerLogicalSector, 512u);
  EXPECT_EQ(a.BytesPerPhysicalSector, 4096u);
  EXPECT_EQ(demander(h, 0x70140, &s), 0);
  EXPECT_EQ(demander(h, 0x12345, &s), -1);
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
  appelsWindows.CloseHandle(h);

  h = ouvrir("\\\\.\\PHYSICALDRIVE1", GENERIC_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  n = demander(h, 0x700A0, &s);
  memcpy(&p, s.data() + 32, sizeof p);
  EXPECT_EQ(p.PartitionStyle, PARTITION_STYLE_GPT);
  memcpy(&e, s.data() + 32 + p.SizeOfPartitionInfo, sizeof e);
  EXPECT_EQ(e.DetectionType, DetectInt13);
  ASSERT_EQ(demander(h, 0x70000, &s), long(sizeof(DISK_GEOMETRY)));
  memcpy(&g, s.data(), sizeof g);
  EXPECT_EQ(g.MediaType, RemovableMedia);
  appelsWindows.CloseHandle(h);
}

TEST(DisquesSimules, ChaqueCodeRefuseSeul) {
  for (const Code& refuse : codes) {
    MachineTemporaire m;
    m.image("d.img", 1 << 20);
    m.machine(std::string("windows 7\ndrive 0 d.img\nfail ") + refuse.nom +
              " \\\\.\\PHYSICALDRIVE0 ERROR_NOT_READY\n");
    ASSERT_TRUE(m.installer()) << m.erreur();
    HANDLE h = ouvrir("\\\\.\\PHYSICALDRIVE0", GENERIC_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::vector<uint8_t> s;
    for (const Code& c : codes) {
      long n = demander(h, c.code, &s);
      if (c.code == refuse.code) {
        EXPECT_EQ(n, -1) << refuse.nom;
        EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_NOT_READY)) << refuse.nom;
      } else {
        EXPECT_GE(n, 0) << refuse.nom << " refuses " << c.nom;
      }
    }
    appelsWindows.CloseHandle(h);
  }
}

TEST(DisquesSimules, OuvertureSelonLeDisque) {
  MachineTemporaire m;
  m.image("d.img", 1 << 20);
  m.machine("windows 7\ndrive 0 d.img ro\ndrive 1 d.img busy\ndrive 2 d.img geo=none\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  EXPECT_EQ(ouvrir("\\\\.\\PHYSICALDRIVE0", GENERIC_READ | GENERIC_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  HANDLE h = ouvrir("\\\\.\\PHYSICALDRIVE0", GENERIC_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::vector<uint8_t> tampon(512);
  DWORD n = 0;
  EXPECT_FALSE(appelsWindows.WriteFile(h, tampon.data(), 512, &n, nullptr));
  EXPECT_TRUE(appelsWindows.ReadFile(h, tampon.data(), 512, &n, nullptr));
  EXPECT_EQ(n, 512u);
  appelsWindows.CloseHandle(h);

  EXPECT_EQ(ouvrir("\\\\.\\PHYSICALDRIVE1", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  h = ouvrir("\\\\.\\PHYSICALDRIVE1", GENERIC_READ);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  appelsWindows.CloseHandle(h);

  // A probe open (no access) reads nothing; geo=none refuses both geometry codes.
  h = ouvrir("\\\\.\\PHYSICALDRIVE2", 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(appelsWindows.ReadFile(h, tampon.data(), 512, &n, nullptr));
  std::vector<uint8_t> s;
  EXPECT_EQ(demander(h, 0x70000, &s), -1);
  EXPECT_EQ(demander(h, 0x700A0, &s), -1);
  EXPECT_EQ(demander(h, 0x7405C, &s), 8);
  appelsWindows.CloseHandle(h);
  EXPECT_EQ(ouvrir("\\\\.\\PHYSICALDRIVE3", 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(appelsWindows.GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace
