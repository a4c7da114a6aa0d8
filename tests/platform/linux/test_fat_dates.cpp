#include <gtest/gtest.h>

#include <ctime>

#include "platform/linux/heure.h"
#include "storage/fat.h"

namespace {

class DatesDOS : public ::testing::Test {
 protected:
  void TearDown() override { fixerDecalageHoraire(0); }
};

uint16_t motDate(unsigned annee, unsigned mois, unsigned jour) {
  return static_cast<uint16_t>(((annee - 1980) << 9) | (mois << 5) | jour);
}
uint16_t motHeure(unsigned h, unsigned m, unsigned s) {
  return static_cast<uint16_t>((h << 11) | (m << 5) | (s / 2));
}

}  // namespace

TEST_F(DatesDOS, VersTemps) {
  const struct {
    uint16_t heure, date;
    uint64_t temps;
  } cas[] = {
      {0, 0, 315532800},                    // day 0 is 1, month 0 January
      {0, 0x0021, 315532800},
      {1, 0x0021, 315532802},
      {motHeure(12, 34, 56), motDate(2040, 2, 29), 2214131696},  // past 2038
      {motHeure(23, 59, 58), motDate(2107, 12, 31), 4354819198},
      {0, motDate(1981, 13, 1), 378691200},                     // month 13: January 1982
      {0, motDate(1980, 2, 31), 315532800 + 61 * 86400},       // February 31: March 2
      {uint16_t(motHeure(31, 63, 0) | 0x1F), 0x0021, 315532800 + 31 * 3600 + 63 * 60 + 62},
  };
  for (const auto& c : cas)
    EXPECT_EQ(dateDosVersTemps(c.heure, c.date), c.temps) << std::hex << c.date << " " << c.heure;
  // The words are local time: an offset east of UTC moves back.
  fixerDecalageHoraire(3600);
  EXPECT_EQ(dateDosVersTemps(0, 0x0021), 315532800u - 3600);
  fixerDecalageHoraire(-18000);
  EXPECT_EQ(dateDosVersTemps(0, 0x0021), 315532800u + 18000);
}

TEST_F(DatesDOS, DepuisTemps) {
  const struct {
    uint64_t temps;
    uint16_t heure, date;
  } cas[] = {
      {315532800, 0, 0},  // exactly the first DOS moment
      {315532802, 1, 0x0021},
      {315532800 + 59, 29, 0x0021},  // odd seconds round down
      {315532799, 0, 0},
      {0, 0, 0},
      {2214131696, motHeure(12, 34, 56), motDate(2040, 2, 29)},
      {4354819199, motHeure(23, 59, 58), motDate(2107, 12, 31)},
      {4354819200, 0, 0},  // 2108 has no DOS year
      {~uint64_t{0}, 0, 0},
  };
  fixerDecalageHoraire(7200);  // no shift on this side
  for (const auto& c : cas) {
    uint16_t heure = 0xFFFF, date = 0xFFFF;
    tempsVersDateDos(c.temps, &heure, &date);
    EXPECT_EQ(heure, c.heure) << c.temps;
    EXPECT_EQ(date, c.date) << c.temps;
  }
}

// Against the C library's calendar over every date word, where its time_t
// holds the result.
TEST_F(DatesDOS, CommeLaBibliothequeC) {
  for (uint32_t date = 0; date <= 0xFFFF; ++date) {
    for (uint16_t heure : {uint16_t{0}, motHeure(13, 7, 44), uint16_t{0xFFFF}}) {
      struct tm champs = {};
      champs.tm_sec = (heure & 0x1F) * 2;
      champs.tm_min = (heure >> 5) & 0x3F;
      champs.tm_hour = heure >> 11;
      champs.tm_mday = (date & 0x1F) ? (date & 0x1F) : 1;
      champs.tm_mon = ((date >> 5) & 0x0F) ? ((date >> 5) & 0x0F) - 1 : 0;
      champs.tm_year = 80 + (date >> 9);
      time_t attendu = timegm(&champs);
      if (attendu == static_cast<time_t>(-1)) continue;  // 32-bit time_t after 2038
      uint64_t temps = dateDosVersTemps(heure, static_cast<uint16_t>(date));
      ASSERT_EQ(temps, static_cast<uint64_t>(attendu)) << std::hex << date << " " << heure;
      // Normalised words come back as they were, but for the first moment.
      struct tm verifie;
      if (temps == 315532800 || gmtime_r(&attendu, &verifie) == nullptr) continue;
      if (verifie.tm_year + 1900 > 2107) continue;
      uint16_t h, d;
      tempsVersDateDos(temps, &h, &d);
      EXPECT_EQ(h, motHeure(verifie.tm_hour, verifie.tm_min, verifie.tm_sec));
      EXPECT_EQ(d, motDate(verifie.tm_year + 1900, verifie.tm_mon + 1, verifie.tm_mday));
    }
  }
}
