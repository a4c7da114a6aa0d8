// The Linux layer and the Linux mains reach the C library only through
// appelsSysteme: a scan of their sources for direct calls.
#include <gtest/gtest.h>
#include <dirent.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/code_source.h"

namespace {

const std::regex appelDirect(
    R"((^|[^A-Za-z0-9_.>:]|::)(open|open64|close|read|write|pread|pwrite|lseek|lseek64|fsync|)"
    R"(ioctl|fcntl|fflush|stat|lstat|fstat|stat64|lstat64|fstat64|opendir|readdir|readdir64|closedir|)"
    R"(glob|glob64|globfree|globfree64|access|canonicalize_file_name|realpath|setmntent|)"
    R"(getmntent|endmntent|setfsent|getfsent|endfsent|uname|gnu_get_libc_version|getuid|)"
    R"(geteuid|isatty|getenv|setenv|fork|execvp|openlog|syslog|vsyslog|sync|kill|raise|sleep|)"
    R"(select|time|localtime|gettimeofday|sysinfo|getrlimit|getrlimit64|setlocale|signal)\s*\()");

bool appelleDirectement(const std::string& ligne) {
  return std::regex_search(partieCode(ligne), appelDirect);
}

TEST(AppelsSysteme, DetecteurDAppelsDirects) {
  EXPECT_TRUE(appelleDirectement("  ssize_t n = read(fd, b, 1);"));
  EXPECT_TRUE(appelleDirectement("if (::lseek64 (fd, 0, SEEK_SET) < 0)"));
  EXPECT_FALSE(appelleDirectement("n = appelsSysteme.read(fd, b, 1);"));
  EXPECT_FALSE(appelleDirectement("p->close(); lireTout(fd); // read(fd)"));
  EXPECT_FALSE(appelleDirectement("afficherMessage(\"cannot open(%s)\", c);"));
}

TEST(AppelsSysteme, AucunAppelDirectHorsDuSeam) {
  std::string racine = __FILE__;
  racine.resize(racine.size() - std::string("tests/platform/linux/test_appels_systeme.cpp").size());
  std::vector<std::string> dossiers = {racine + "platform/linux"};
  for (const char* p : {"commun", "tablens", "platlens", "vollens", "archlens"})
    dossiers.push_back(racine + "programs/" + p + "/linux");
  int fichiers = 0;
  for (const std::string& dossier : dossiers) {
    DIR* d = opendir(dossier.c_str());
    if (d == nullptr) continue;
    while (dirent* e = readdir(d)) {
      std::string nom = e->d_name;
      bool source = nom.size() > 4 && (nom.compare(nom.size() - 4, 4, ".cpp") == 0 ||
                                       nom.compare(nom.size() - 2, 2, ".h") == 0);
      if (!source || nom.rfind("appels_systeme.", 0) == 0) continue;
      ++fichiers;
      std::ifstream f(dossier + "/" + nom);
      std::string ligne;
      for (int n = 1; std::getline(f, ligne); ++n)
        EXPECT_FALSE(appelleDirectement(ligne)) << dossier << "/" << nom << ":" << n << ": "
                                                << ligne;
    }
    closedir(d);
  }
  if (fichiers == 0) GTEST_SKIP() << "sources not found under " << racine;
}

}  // namespace
