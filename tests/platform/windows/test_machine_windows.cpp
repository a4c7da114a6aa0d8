// The simulated Windows machine: its directives, the Linux ones it skips,
// injected failures, the loader's answers, and the probe twin run on a
// machine folder named by a Linux path.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/windows/appels_windows.h"
#include "sim/machine_windows.h"

namespace {

TEST(MachineWindows, DirectivesRefusees) {
  const struct {
    const char* lignes;
    const char* raison;
  } cas[] = {
      {"windows 3.1\n", "unknown version 3.1"},
      {"windows\n", "windows VERSION"},
      {"drive 0 absent.img\n", "image absent.img is not a file"},
      {"drive 128 d.img\n", "bad drive number 128"},
      {"drive 0 d.img\ndrive 0 d.img\n", "drive 0 declared twice"},
      {"drive 0 d.img offset=2M\n", "offset beyond the image"},
      {"drive 0 d.img size=2M\n", "window beyond the image"},
      {"drive 0 d.img geo=1/2\n", "bad geo=1/2"},
      {"drive 0 d.img ssz=0\n", "bad ssz=0"},
      {"drive 0 d.img fast\n", "unknown option fast"},
      {"volume E 0 0 1M\n", "drive 0 is not declared"},
      {"drive 0 d.img\nvolume E 0 512K 1M\n", "volume beyond drive 0"},
      {"drive 0 d.img\nvolume 1 0 0 1M\n", "bad drive letter 1"},
      {"drive 0 d.img\nvolume E 0 0 1M\nvolume e: 0 0 1M\n", "letter e: declared twice"},
      {"drive 0 d.img\nvolume E 0 0 1M type=floppy\n", "bad type=floppy"},
      {"drive 0 d.img\nvolume E 0 0 1M name=E\n", "bad name=E"},
      {"admin maybe\n", "admin yes|no"},
      {"timezone -60 0\n", "timezone BIAS"},
      {"timezone x\n", "timezone BIAS"},
      {"timezone 0 0 -60 summer\n", "timezone BIAS"},
      {"fail CreateFileW * ERROR_ACCESS_DENIED\n", "unknown function CreateFileW"},
      {"fail GetVersionExA * ERROR_NOPE\n", "bad error ERROR_NOPE"},
      {"fail GetVersionExA * 5 later=1\n", "bad later=1"},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.image("d.img", 1 << 20);
    m.machine(c.lignes);
    EXPECT_FALSE(m.installer()) << c.lignes;
    EXPECT_NE(m.erreur().find(c.raison), std::string::npos) << c.lignes << " -> " << m.erreur();
    EXPECT_EQ(m.erreur().rfind("machine:", 0), 0u) << m.erreur();
  }
}

TEST(MachineWindows, LesDirectivesLinuxSontIgnoreesEtLesSiennesLues) {
  MachineTemporaire m;
  m.image("images/d.img", 4 << 20);
  // The Linux lines would be refused by the Linux machine as written here
  // (no image), which shows they are not read at all.
  m.machine(
      "block /dev/sda 8:0 images/absent.img\n"
      "uname 2.6.32\n"
      "fail open /dev/sda EIO\n"
      "drive 0 images/d.img ssz=4096 geo=10/16/63 removable\n"
      "volume f: 0 1M 2M fs=FAT32 busy  # a comment\r\n"
      "admin no\n"
      "console no\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  ASSERT_EQ(disquesSimules().size(), 1u);
  const T_DisqueSimule& d = disquesSimules()[0];
  EXPECT_EQ(d.taille, 4u << 20);
  EXPECT_EQ(d.tailleSecteur, 4096u);
  EXPECT_EQ(d.cylindres, 10u);
  EXPECT_EQ(d.tetes, 16u);
  EXPECT_EQ(d.secteurs, 63u);
  EXPECT_TRUE(d.amovible);
  ASSERT_EQ(volumesSimules().size(), 1u);
  const T_VolumeSimule& v = volumesSimules()[0];
  EXPECT_EQ(v.lettre, 'F');
  EXPECT_EQ(v.decalage, 1u << 20);
  EXPECT_EQ(v.type, "removable");
  EXPECT_EQ(v.systemeFichiers, "FAT32");
  EXPECT_EQ(v.nom, "\\\\?\\Volume{6c656e73-0000-0000-0000-000000000800}\\");
  EXPECT_TRUE(v.occupe);
  EXPECT_FALSE(administrateurSimule());
  EXPECT_FALSE(consoleSimulee());
}

TEST(MachineWindows, EchecsInjectesApresEtCompte) {
  MachineTemporaire m;
  m.machine("windows 7\nfail GetVersionExA * ERROR_ACCESS_DENIED after=1 count=2\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  const BOOL attendus[] = {TRUE, FALSE, FALSE, TRUE};
  for (BOOL attendu : attendus) {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    SetLastError(0);
    EXPECT_EQ(appelsWindows.GetVersionExA(&v), attendu);
    if (attendu) {
      EXPECT_EQ(v.dwMajorVersion, 6u);
      EXPECT_EQ(v.dwMinorVersion, 1u);
      EXPECT_STREQ(v.szCSDVersion, "Service Pack 1");
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
  }
}

TEST(MachineWindows, VersionEtTailleDeLaStructure) {
  MachineTemporaire m;
  m.machine("windows nt4\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  OSVERSIONINFOEXA e = {};
  e.dwOSVersionInfoSize = sizeof e;
  ASSERT_TRUE(appelsWindows.GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&e)));
  EXPECT_EQ(e.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(e.dwMajorVersion, 4u);
  EXPECT_EQ(e.wServicePackMajor, 6);
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(appelsWindows.GetVersionExA(&v));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(MachineWindows, ChargeurEtPointsEntreeSelonLaVersion) {
  const struct {
    const char* lignes;
    const char* nom;
    bool present;
  } cas[] = {
      {"windows nt4\n", "FindFirstVolumeA", false},
      {"windows 2000\n", "FindFirstVolumeA", true},
      {"windows 2000\n", "GetVolumePathNamesForVolumeNameA", false},
      {"windows xp\n", "GetVolumePathNamesForVolumeNameA", true},
      {"windows 7\nmissing FindNextVolumeA\n", "FindNextVolumeA", false},
      {"windows 7\nmissing FindNextVolumeA\n", "FindFirstVolumeA", true},
      {"windows 7\nfail GetProcAddress GetTickCount ERROR_PROC_NOT_FOUND\n", "GetTickCount", false},
      {"", "GetVolumePathNamesForVolumeNameA", true},  // the host's answer
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.machine(c.lignes);
    ASSERT_TRUE(m.installer()) << m.erreur();
    HMODULE k = appelsWindows.LoadLibraryA("kernel32.dll");
    ASSERT_NE(k, nullptr);
    SetLastError(0);
    FARPROC p = appelsWindows.GetProcAddress(k, c.nom);
    EXPECT_EQ(p != nullptr, c.present) << c.lignes << c.nom;
    if (!c.present) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
    appelsWindows.FreeLibrary(k);
  }
  MachineTemporaire m;
  m.machine("missing KERNEL32\n");
  ASSERT_TRUE(m.installer()) << m.erreur();
  EXPECT_EQ(appelsWindows.LoadLibraryA("kernel32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(MachineWindows, PressePapierEtBoiteDeMessage) {
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  EXPECT_FALSE(appelsWindows.EmptyClipboard());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
  ASSERT_TRUE(appelsWindows.OpenClipboard(nullptr));
  EXPECT_FALSE(appelsWindows.OpenClipboard(nullptr));
  ASSERT_TRUE(appelsWindows.EmptyClipboard());
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 4);
  memcpy(GlobalLock(h), "abc", 4);
  GlobalUnlock(h);
  EXPECT_EQ(appelsWindows.SetClipboardData(CF_TEXT, h), h);
  EXPECT_TRUE(appelsWindows.CloseClipboard());
  EXPECT_EQ(m.lire("clipboard.txt"), "abc");
  EXPECT_EQ(appelsWindows.MessageBoxA(nullptr, "text", "title", MB_OK), IDOK);
  EXPECT_EQ(m.lire("messagebox.log"), "[title] 0x0\ntext\n");
}

// Runs a command line; its standard output.
std::string lancer(std::string ligne) {
  SECURITY_ATTRIBUTES heritable = {sizeof heritable, nullptr, TRUE};
  HANDLE lecture, ecriture;
  if (!CreatePipe(&lecture, &ecriture, &heritable, 0)) return "";
  SetHandleInformation(lecture, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA demarrage = {};
  demarrage.cb = sizeof demarrage;
  demarrage.dwFlags = STARTF_USESTDHANDLES;
  demarrage.hStdOutput = ecriture;
  demarrage.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  demarrage.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION processus;
  BOOL lance = CreateProcessA(nullptr, &ligne[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &demarrage, &processus);
  CloseHandle(ecriture);
  std::string sortie;
  if (lance) {
    char tampon[4096];
    DWORD n;
    while (ReadFile(lecture, tampon, sizeof tampon, &n, nullptr) && n > 0) sortie.append(tampon, n);
    WaitForSingleObject(processus.hProcess, INFINITE);
    CloseHandle(processus.hProcess);
    CloseHandle(processus.hThread);
  }
  CloseHandle(lecture);
  return sortie;
}

#ifdef LENS_SONDE_MACHINE
TEST(MachineWindows, JumeauSondeSurUnCheminLinux) {
  MachineTemporaire m;
  m.machine("block /dev/sda 8:0 absent.img\nwindows 2000\ntimezone -60\nmissing GetDiskFreeSpaceExA\n");
  // The folder named the Linux way, as the Linux twins take it.
  char* linux = nullptr;
  typedef char*(CDECL * T_NomUnix)(const WCHAR*);
  FARPROC p = GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  std::wstring large(m.racine().begin(), m.racine().end());
  if (p != nullptr) {
    T_NomUnix nomUnix;
    memcpy(&nomUnix, &p, sizeof nomUnix);
    linux = nomUnix(large.c_str());
  }
  std::string racine = linux ? linux : m.racine();
  if (linux) HeapFree(GetProcessHeap(), 0, linux);
  SetEnvironmentVariableA("LENS_MACHINE", racine.c_str());
  std::string sortie = lancer("\"" + cheminWindows(LENS_SONDE_MACHINE) + "\" FindFirstVolumeA IsWow64Process");
  SetEnvironmentVariableA("LENS_MACHINE", nullptr);
  EXPECT_EQ(sortie,
            "version 5.0 platform 2\r\n"
            "nt yes, 2000 yes, xp no, vista no\r\n"
            "volume enumeration yes, free space ex no\r\n"
            "offset 3600\r\n"
            "FindFirstVolumeA: present\r\n"
            "IsWow64Process: absent\r\n");
  SetEnvironmentVariableA("LENS_MACHINE", "");
  EXPECT_EQ(lancer("\"" + cheminWindows(LENS_SONDE_MACHINE) + "\""), "");
  SetEnvironmentVariableA("LENS_MACHINE", nullptr);
}
#endif

}  // namespace
