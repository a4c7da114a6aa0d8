// One machine folder for both simulations: the Linux machine skips the
// Windows directives (unchecked), and the split of directives by system.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/appels_systeme.h"
#include "sim/directives_machine.h"
#include "sim/machine_linux.h"

namespace {

TEST(MachinePartagee, RepartitionDesDirectives) {
  const struct {
    const char* ligne;
    bool windows;
  } cas[] = {
      {"windows 98", true},
      {"drive 0 images/d.img geo=none", true},
      {"volume C 0 1M 100M fs=FAT32", true},
      {"admin no", true},
      {"console yes", true},
      {"timezone -60 0 -60", true},
      {"missing FindFirstVolumeA", true},
      {"fail GetVersionExA * ERROR_ACCESS_DENIED", true},
      {"fail IOCTL_DISK_GET_DRIVE_GEOMETRY \\\\.\\PHYSICALDRIVE0 5", true},
      {"fail FSCTL_LOCK_VOLUME * ERROR_ACCESS_DENIED", true},
      {"fail open /dev/sda EIO", false},
      {"fail BLKGETSIZE64 * EIO", false},
      {"fail HDIO_GETGEO * ENOTTY", false},
      {"block /dev/sda 8:0 images/d.img", false},
      {"uname 2.6.32  # drive 0 is not read here", false},
      {"fail", false},
  };
  for (const auto& c : cas) {
    std::vector<std::string> mots = motsDirective(c.ligne);
    EXPECT_EQ(directiveWindows(mots), c.windows) << c.ligne;
    EXPECT_EQ(directiveLinux(mots), !c.windows) << c.ligne;
  }
  EXPECT_FALSE(directiveWindows(motsDirective("  # only a comment")));
  EXPECT_FALSE(directiveLinux(motsDirective("")));
}

TEST(MachinePartagee, LaMachineLinuxIgnoreLesDirectivesWindows) {
  MachineTemporaire m;
  m.image("images/d.img", 1 << 20);
  // Windows lines that the Windows machine would refuse: not even read here.
  m.machine(
      "windows 3.1\n"
      "drive 0 images/absent.img\n"
      "volume Q 9 0 0\n"
      "fail NoSuchFunction * ERROR_NOPE\n"
      "block /dev/sda 8:0 images/d.img\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  struct stat64 e;
  ASSERT_EQ(appelsSysteme.lstat64("/dev/sda", &e), 0);
  EXPECT_TRUE(S_ISBLK(e.st_mode));
}

}  // namespace
