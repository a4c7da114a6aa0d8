#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/string_array.h"

namespace {

std::vector<std::string> contenu(const StringArray& a) {
  std::vector<std::string> resultat;
  for (size_t i = 0; i < a.count(); ++i) resultat.push_back(a[i] ? a[i] : "(null)");
  return resultat;
}

TEST(StringArray, RecherchesLineaires) {
  const char* textes[] = {"sdb", nullptr, "sda"};
  StringArray a(3, textes);
  EXPECT_EQ(a[1], nullptr);
  const struct {
    bool sansCasse;
    const char* texte;
    size_t depart;
    size_t position;
  } cas[] = {
      {false, "sda", 0, 2}, {false, "sda", 3, 3}, {false, nullptr, 0, 3}, {false, "SDA", 0, 3},
      {false, "sdb", 1, 3}, {true, "SDA", 0, 2},  {true, nullptr, 0, 3},
  };
  for (const auto& c : cas) {
    size_t position = c.sansCasse ? a.findNoCase(c.texte, c.depart) : a.find(c.texte, c.depart);
    EXPECT_EQ(position, c.position) << (c.texte ? c.texte : "null") << " from " << c.depart;
  }
}

TEST(StringArray, OrdreTrie) {
  StringArray a;
  for (const char* t : {"sdb", "sda", "Sda", "hdc", "SDB", "sda1"}) {
    a.insert(t, a.insertPosition(t));
  }
  EXPECT_EQ(contenu(a), (std::vector<std::string>{"hdc", "Sda", "sda", "sda1", "SDB", "sdb"}));
  for (size_t i = 0; i < a.count(); ++i) EXPECT_EQ(a.findSorted(a[i]), i) << a[i];

  const char* deux[] = {"sda", "sdc"};
  StringArray b(2, deux);
  const struct {
    const char* texte;
    size_t insertion, trouve;
  } cas[] = {
      {"sdb", 1, 2}, {"sdz", 2, 2}, {"a", 0, 2}, {"sdc", 1, 1}, {"SDA", 0, 2}, {"sda", 0, 0},
  };
  for (const auto& c : cas) {
    EXPECT_EQ(b.insertPosition(c.texte), c.insertion) << c.texte;
    EXPECT_EQ(b.findSorted(c.texte), c.trouve) << c.texte;
  }
  EXPECT_EQ(b.findSorted(nullptr), 2u);
  EXPECT_EQ(StringArray::insertPosition(0, nullptr, "x"), 0u);
}

TEST(StringArray, PossessionDesTextes) {
  char texte[] = "sda";
  StringArray a;
  a.add(texte);
  EXPECT_NE(a[0], texte);
  texte[0] = 'x';
  EXPECT_STREQ(a[0], "sda");

  a.add(nullptr);
  EXPECT_EQ(a[1], nullptr);
  a.insert("sdc", 4);
  EXPECT_EQ(contenu(a), (std::vector<std::string>{"sda", "(null)", "(null)", "(null)", "sdc"}));

  // A moved text keeps its pointer and its one owner.
  StringArray b;
  char* deplace = a[4];
  a.moveOneTo(4, b, 0);
  EXPECT_EQ(b[0], deplace);
  EXPECT_EQ(a.count(), 4u);
}

TEST(StringArray, CopiesProfondes) {
  const char* textes[] = {"a", "b", "c"};
  StringArray a(3, textes);
  StringArray b(a);
  for (size_t i = 0; i < 3; ++i) EXPECT_NE(a[i], b[i]);
  b.set("z", 1);
  b.remove(0);
  EXPECT_EQ(contenu(a), (std::vector<std::string>{"a", "b", "c"}));

  StringArray c;
  c = a;
  c = c;
  c.append(c);
  EXPECT_NE(c[0], a[0]);
  EXPECT_EQ(contenu(c), (std::vector<std::string>{"a", "b", "c", "a", "b", "c"}));
}

// The value given belongs to the element that the operation releases or moves.
TEST(StringArray, TexteDuTableauLuiMeme) {
  const char* textes[] = {"a", "b", "c", "d"};
  StringArray a(4, textes);
  a.set(a[1], 1);
  const char* tenu = a[2];
  a.set(tenu, 2);
  a.add(a[0]);
  a.fill(a[3], 3, 3);
  a.insert(a[4], 0);
  EXPECT_EQ(contenu(a), (std::vector<std::string>{"d", "a", "b", "c", "d", "d", "d"}));
  // The text's own element is released in the middle of the fill.
  StringArray b(4, textes);
  b.fill(b[1], 3, 0);
  EXPECT_EQ(contenu(b), (std::vector<std::string>{"b", "b", "b", "d"}));
}

TEST(StringArray, DeleteArrayDeListes) {
  DeleteArray<StringArray> listes;
  for (int i = 0; i < 3; ++i) {
    StringArray* liste = new StringArray;
    liste->add("x");
    liste->add("y");
    listes.add(liste);
  }
  listes.remove(1);
  listes.set(new StringArray(*listes[0]), 0);
  EXPECT_EQ(contenu(*listes[0]), (std::vector<std::string>{"x", "y"}));
}

}  // namespace
