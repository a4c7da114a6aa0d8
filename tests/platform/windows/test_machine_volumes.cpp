// The volume side of the simulated Windows machine: its options, the sized
// answers of the volume calls and the facts of a volume.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <string>

#include "platform/windows/appels_windows.h"
#include "sim/machine_windows.h"

namespace {

TEST(MachineVolumes, OptionsRefusees) {
  const struct {
    const char* ligne;
    const char* raison;
  } cas[] = {
      {"volume E 0 0 1M partition=0\n", "bad partition=0"},
      {"volume E 0 0 1M number=x\n", "bad number=x"},
      {"volume E 0 0 1M mount=D:\\x\n", "bad mount=D:\\x"},
      {"volume E 0 0 1M free=2M\n", "bad free=2M"},
      {"volume E 0 0 1M target=disk\n", "unknown option target=disk"},
      {"volume -- 0 0 1M\n", "bad drive letter --"},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 4 << 20);
    m.machine(std::string("drive 0 d.img\n") + c.ligne);
    EXPECT_FALSE(m.installer()) << c.ligne;
    EXPECT_NE(m.erreur().find(c.raison), std::string::npos) << c.ligne << " -> " << m.erreur();
  }
  MachineTemporaire m;
  m.image("d.img", 4 << 20);
  m.machine("drive 0 d.img\nvolume - 0 0 1M\nvolume - 0 1M 1M\n");
  EXPECT_TRUE(m.installer()) << m.erreur();
}

TEST(MachineVolumes, ReponsesDimensionnees) {
  MachineTemporaire m;
  m.image("d.img", 64 << 20);
  m.machine("drive 0 d.img ssz=4096\nvolume E 0 1M 16M fs=NTFS label=DATA free=4M "
            "mount=C:\\mnt\\e\\\nvolume F 0 20M 8M target=partition\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  char t[64];
  EXPECT_EQ(appelsWindows.QueryDosDeviceA("E:", t, sizeof t), 25u);
  EXPECT_STREQ(t, "\\Device\\HarddiskVolume1");
  EXPECT_EQ(appelsWindows.QueryDosDeviceA("E:", t, 24), 0u);
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_NE(appelsWindows.QueryDosDeviceA("f:", t, sizeof t), 0u);
  EXPECT_STREQ(t, "\\Device\\Harddisk0\\Partition2");
  EXPECT_EQ(appelsWindows.QueryDosDeviceA("G:", t, sizeof t), 0u);
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  const char* nom = "\\\\?\\Volume{6c656e73-0000-0000-0000-000000000800}\\";
  DWORD voulue = 0;
  EXPECT_FALSE(appelsWindows.GetVolumePathNamesForVolumeNameA(nom, t, 4, &voulue));
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(voulue, 15u);
  ASSERT_TRUE(appelsWindows.GetVolumePathNamesForVolumeNameA(nom, t, voulue, &voulue));
  EXPECT_EQ(std::string(t, 15), std::string("C:\\mnt\\e\\\0E:\\\0\0", 15));

  char etiquette[8], systeme[8];
  DWORD serie = 0, longueur = 0, drapeaux = 0;
  ASSERT_TRUE(appelsWindows.GetVolumeInformationA("E:\\", etiquette, sizeof etiquette, &serie,
                                                  &longueur, &drapeaux, systeme, sizeof systeme));
  EXPECT_STREQ(etiquette, "DATA");
  EXPECT_STREQ(systeme, "NTFS");
  EXPECT_EQ(serie, 0x6C650000u);
  EXPECT_FALSE(appelsWindows.GetVolumeInformationA("F:\\", nullptr, 0, nullptr, nullptr, nullptr,
                                                   nullptr, 0));
  DWORD parGroupe, octets, libres, groupes;
  ASSERT_TRUE(appelsWindows.GetDiskFreeSpaceA("E:\\", &parGroupe, &octets, &libres, &groupes));
  EXPECT_EQ(octets, 4096u);
  EXPECT_EQ(libres * parGroupe * octets, 4u << 20);
  EXPECT_EQ(groupes * parGroupe * octets, 16u << 20);
  EXPECT_EQ(appelsWindows.GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(appelsWindows.GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));

  char n[128];
  HANDLE r = appelsWindows.FindFirstVolumeA(n, sizeof n);
  ASSERT_NE(r, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(n, nom);
  EXPECT_TRUE(appelsWindows.FindNextVolumeA(r, n, sizeof n));
  EXPECT_FALSE(appelsWindows.FindNextVolumeA(r, n, sizeof n));
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(appelsWindows.FindVolumeClose(r));
}

TEST(MachineVolumes, CodesDeControle) {
  MachineTemporaire m;
  m.image("d.img", 64 << 20);
  m.machine("drive 3 d.img\nvolume E 3 1M 16M number=5\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  HANDLE h = appelsWindows.CreateFileA("\\\\?\\GLOBALROOT\\Device\\Harddisk3\\Partition1",
                                       GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD rendus = 0;
  STORAGE_DEVICE_NUMBER n;
  ASSERT_TRUE(appelsWindows.DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &n,
                                            sizeof n, &rendus, nullptr));
  EXPECT_EQ(rendus, 12u);
  EXPECT_EQ(n.DeviceNumber, 5u);
  EXPECT_EQ(n.PartitionNumber, 1u);
  VOLUME_DISK_EXTENTS e;
  ASSERT_TRUE(appelsWindows.DeviceIoControl(h, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                            &e, sizeof e, &rendus, nullptr));
  EXPECT_EQ(e.Extents[0].DiskNumber, 3u);
  EXPECT_EQ(e.Extents[0].StartingOffset.QuadPart, 1 << 20);
  PARTITION_INFORMATION p;
  EXPECT_FALSE(appelsWindows.DeviceIoControl(h, IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &p,
                                             sizeof p - 1, &rendus, nullptr));
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // One lock at a time; a closed handle gives its lock up.
  HANDLE autre = appelsWindows.CreateFileA("\\\\.\\e:", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0,
                                           nullptr);
  ASSERT_TRUE(appelsWindows.DeviceIoControl(h, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &rendus,
                                            nullptr));
  EXPECT_FALSE(appelsWindows.DeviceIoControl(autre, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                                             &rendus, nullptr));
  EXPECT_FALSE(appelsWindows.DeviceIoControl(autre, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0,
                                             &rendus, nullptr));
  EXPECT_EQ(appelsWindows.GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  EXPECT_TRUE(appelsWindows.CloseHandle(h));
  EXPECT_TRUE(appelsWindows.DeviceIoControl(autre, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0,
                                            &rendus, nullptr));
  EXPECT_TRUE(appelsWindows.CloseHandle(autre));
}

}  // namespace
