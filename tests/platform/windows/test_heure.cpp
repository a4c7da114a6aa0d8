// Windows time helpers: the offset from the time zone (with and without
// daylight saving), the shifts at the range limits, DOS dates through
// FILETIME at the DOS range limits and across 2038 and 2106.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/windows/appels_windows.h"
#include "platform/windows/heure.h"
#include "sim/machine_windows.h"
#include "support/remplacement.h"

namespace {

class Decalage {
 public:
  explicit Decalage(int32_t valeur) { fixerDecalageHoraire(valeur); }
  ~Decalage() { fixerDecalageHoraire(0); }
};

TEST(HeureWindows, DecalageDuFuseau) {
  const struct {
    const char* lignes;
    int32_t attendu;
  } cas[] = {
      // No daylight saving: the system answers "unknown", the bias holds.
      {"timezone -60\n", 3600},
      {"timezone 300\n", -18000},
      {"timezone 0\n", 0},
      {"timezone 300 0 -60\n", -18000},
      {"timezone 300 0 -60 standard\n", -18000},
      {"timezone 300 0 -60 daylight\n", -14400},
      {"timezone -60 -30 -60 daylight\n", 7200},
      // StandardBias is not the offset's.
      {"timezone -60 -30 -60 standard\n", 3600},
      {"timezone -60 0 -60 daylight\nfail GetTimeZoneInformation * ERROR_GEN_FAILURE\n", 0},
      // A bias whose seconds do not fit 32 bits is not applied.
      {"timezone 40000000\n", 0},
  };
  for (const auto& c : cas) {
    MachineTemporaire m;
    m.machine(c.lignes);
    ASSERT_TRUE(m.installer()) << m.erreur();
    fixerDecalageHoraire(12345);
    initialiserDecalageHoraire();
    EXPECT_EQ(decalageHoraire(), c.attendu) << c.lignes;
  }
  fixerDecalageHoraire(0);
}

TEST(HeureWindows, DecalagesAuxBornes) {
  const struct {
    int32_t decalage;
    uint64_t temps, local, universel;
  } cas[] = {
      {3600, 0xFFFFFF00, 0xFFFFFF00, 0xFFFFF0F0},
      {3600, 0xFFFFF000, 0xFFFFFE10, 0xFFFFE1F0},
      {3600, 1000, 4600, 1000},
      {3600, 7200, 10800, 3600},
      {3600, 3600, 7200, 0},
      {-18000, 10000, 10000, 28000},
      {-18000, 18000, 0, 36000},
      {-18000, 0xFFFFFFFF, 0xFFFFB9AF, 0xFFFFFFFF},
      // Beyond 32 bits only the moves towards smaller values apply.
      {3600, 0x100000000, 0x100000000, 0xFFFFF1F0},
      {-3600, 0x100000000, 0xFFFFF1F0, 0x100000000},
      {0, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
  };
  for (const auto& c : cas) {
    Decalage d(c.decalage);
    EXPECT_EQ(versHeureLocale(c.temps), c.local) << c.decalage << " " << c.temps;
    EXPECT_EQ(versHeureUniverselle(c.temps), c.universel) << c.decalage << " " << c.temps;
  }
}

// DOS words of a date and time.
uint16_t dateDos(unsigned annee, unsigned mois, unsigned jour) {
  return static_cast<uint16_t>(((annee - 1980) << 9) | (mois << 5) | jour);
}
uint16_t heureDos(unsigned h, unsigned m, unsigned s) {
  return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2));
}

TEST(HeureWindows, DateDosVersTemps) {
  const struct {
    uint16_t heure, date;
    int32_t decalage;
    uint64_t attendu;
  } cas[] = {
      {0, 0x0021, 0, 315532800},
      {heureDos(0, 0, 2), 0x0021, 0, 315532802},
      {0, 0x0021, 3600, 315529200},
      {heureDos(3, 14, 8), dateDos(2038, 1, 19), 0, 0x80000000},
      {heureDos(6, 28, 14), dateDos(2106, 2, 7), 0, 0xFFFFFFFE},
      // Past 0xFFFFFFFF seconds the value is 0.
      {heureDos(6, 28, 16), dateDos(2106, 2, 7), 0, 0},
      {heureDos(23, 59, 58), dateDos(2107, 12, 31), 0, 0},
      // Refused dates and times: 0 before the shift.
      {0, 0, 0, 0},
      {0, dateDos(2001, 2, 29), 3600, 0},
      {0, dateDos(2001, 13, 1), -3600, 3600},
      {heureDos(24, 0, 0), 0x0021, 0, 0},
      {0x1F, 0x0021, 0, 0},  // 62 seconds
      {0, dateDos(2000, 2, 29), 0, 951782400},
  };
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  for (const auto& c : cas) {
    Decalage d(c.decalage);
    EXPECT_EQ(dateDosVersTemps(c.heure, c.date), c.attendu)
        << std::hex << c.heure << " " << c.date << std::dec << " " << c.decalage;
  }
}

TEST(HeureWindows, TempsVersDateDos) {
  const struct {
    uint64_t temps;
    uint16_t heure, date;
  } cas[] = {
      {315532800, 0, 0x0021},
      {315532799, 0, 0},
      {315532801, 0, 0x0021},
      {315532802, 1, 0x0021},
      {0, 0, 0},
      {0x7FFFFFFF, heureDos(3, 14, 6), dateDos(2038, 1, 19)},
      {0x80000000, heureDos(3, 14, 8), dateDos(2038, 1, 19)},
      {0xFFFFFFFF, heureDos(6, 28, 14), dateDos(2106, 2, 7)},
      {4354819199, heureDos(23, 59, 58), dateDos(2107, 12, 31)},
      {4354819200, 0, 0},
      {0xFFFFFFFFFFFFFFFF, 0, 0},
  };
  MachineTemporaire m;
  ASSERT_TRUE(m.installer()) << m.erreur();
  Decalage d(-7200);  // no shift here
  for (const auto& c : cas) {
    uint16_t heure = 0xFFFF, date = 0xFFFF;
    tempsVersDateDos(c.temps, &heure, &date);
    EXPECT_EQ(heure, c.heure) << c.temps;
    EXPECT_EQ(date, c.date) << c.temps;
  }
}

// The host's own conversion (wine's has no range check): the dates outside
// the DOS range still come out as 0 and 0.
TEST(HeureWindows, HorsDuDomaineDosSansMachine) {
  for (uint64_t t : {0ULL, 315532799ULL, 4354819200ULL, 0x7FFFFFFFFFFFFFFFULL}) {
    uint16_t heure = 0xFFFF, date = 0xFFFF;
    tempsVersDateDos(t, &heure, &date);
    EXPECT_EQ(heure, 0) << t;
    EXPECT_EQ(date, 0) << t;
  }
  uint16_t heure, date;
  tempsVersDateDos(0x80000000, &heure, &date);
  EXPECT_EQ(date, dateDos(2038, 1, 19));
  EXPECT_EQ(dateDosVersTemps(heureDos(3, 14, 8), dateDos(2038, 1, 19)), 0x80000000u);
}

BOOL WINAPI refuserConversion(const FILETIME*, LPWORD date, LPWORD heure) {
  *date = 0x1234;
  *heure = 0x5678;
  return FALSE;
}

TEST(HeureWindows, ConversionRefuseeDonneZero) {
  Remplacement<decltype(appelsWindows.FileTimeToDosDateTime)> r(appelsWindows.FileTimeToDosDateTime,
                                                                refuserConversion);
  uint16_t heure = 1, date = 1;
  tempsVersDateDos(0x80000000, &heure, &date);
  EXPECT_EQ(heure, 0);
  EXPECT_EQ(date, 0);
}

DWORD WINAPI compteurPlein() { return 0xFFFFFFFF; }
void fixer(LPFILETIME t, uint64_t intervalles) {
  t->dwLowDateTime = static_cast<DWORD>(intervalles);
  t->dwHighDateTime = static_cast<DWORD>(intervalles >> 32);
}
void WINAPI horloge2107(LPFILETIME t) { fixer(t, 159992927990000000ULL); }
void WINAPI horloge1969(LPFILETIME t) { fixer(t, 116444735990000000ULL); }

TEST(HeureWindows, MillisecondesEtHeureCourante) {
  {
    Remplacement<decltype(appelsWindows.GetTickCount)> r(appelsWindows.GetTickCount, compteurPlein);
    EXPECT_EQ(millisecondes(), 0xFFFFFFFFu);
  }
  // Past 2020 and before 2100: the 64-bit clock.
  int64_t maintenant = heureCourante();
  EXPECT_GT(maintenant, 1577836800);
  EXPECT_LT(maintenant, 4102444800);
  // Past 2038 and before 1970, from the system's 100 ns count.
  {
    Remplacement<decltype(appelsWindows.GetSystemTimeAsFileTime)> r(appelsWindows.GetSystemTimeAsFileTime,
                                                                    horloge2107);
    EXPECT_EQ(heureCourante(), 4354819199);
  }
  Remplacement<decltype(appelsWindows.GetSystemTimeAsFileTime)> r(appelsWindows.GetSystemTimeAsFileTime,
                                                                  horloge1969);
  EXPECT_EQ(heureCourante(), -1);
}

}  // namespace
