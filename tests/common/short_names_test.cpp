// Valid 8.3 and long names, the aliases Windows gives long names, the
// long-name checksum and UTF-8 read as characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "common/short_names.h"

namespace {

using namespace common;

TEST(ShortNames, ValidEightDotThree) {
  EXPECT_TRUE(IsValidShortName("README.TXT"));
  EXPECT_TRUE(IsValidShortName("readme.txt"));  // letter case does not matter
  EXPECT_TRUE(IsValidShortName("A"));
  EXPECT_TRUE(IsValidShortName("12345678.123"));
  EXPECT_TRUE(IsValidShortName("$A~1_(X).{}"));
  for (const char* bad : {"123456789", "A.1234", "A.B.C", "A..B", ".", "..", "A B", ".profile", "A.", "A+B",
                          "A\x01" "B", "caf\xC3\xA9", ""}) {
    EXPECT_FALSE(IsValidShortName(bad)) << bad;
  }
}

TEST(LongNames, WhatWindowsAcceptsAsAName) {
  EXPECT_TRUE(IsValidLongName("Release Notes for Diagnostics.txt"));
  EXPECT_TRUE(IsValidLongName("caf\xC3\xA9 + [1]; a=b,c.txt"));
  EXPECT_TRUE(IsValidLongName(std::string(255, 'x')));
  for (const std::string& bad : std::vector<std::string>{"", ".", "..", "a\"b", "a*b", "a/b", "a:b", "a<b", "a>b", "a?b", "a\\b",
                                "a|b", "tab\there", std::string("nul\0x", 5), std::string(256, 'x')}) {
    EXPECT_FALSE(IsValidLongName(bad)) << bad;
  }
}

TEST(ShortNames, AliasesWindowsGives) {
  const struct {
    const char* name;
    const char* alias;
  } kCases[] = {
      {"A Long File Name.txt", "ALONGF~1.TXT"},
      {"flashutil.com", "FLASHU~1.COM"},
      {"Release Notes for Diagnostics.txt", "RELEAS~1.TXT"},
      {"archive.tar.gz", "ARCHIV~1.GZ"},         // the extension follows the last dot
      {"TextFile1.Mine.txt", "TEXTFI~1.TXT"},    // the other dots go
      {"ver +1.2.text", "VER_12~1.TEX"},
      {".gitignore", "GITIGN~1"},                // leading dots go
      {"..hidden.cfg", "HIDDEN~1.CFG"},
      {"long filename.123.456.789.", "LONGFI~1.789"},  // so do trailing dots and blanks
      {"a.b. ", "A~1.B"},
      {"My Long .txt", "MYLONG~1.TXT"},
      {"name with blanks", "NAMEWI~1"},
      {"abc.d e", "ABC~1.DE"},
      {"a+b=c[1].html", "A_B_C_~1.HTM"},
      {"a\x01" "b.txt", "A_B~1.TXT"},
      {"...", "_~1"},
      {"\xC3\xBCn\xC3\xAF" "code.txt", "_N_COD~1.TXT"},  // one '_' per character, not per byte
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", "___~1.TXT"},
      {"\xF0\x9F\x98\x80.txt", "_~1.TXT"},
      {"caf\xE9.txt", "CAF_~1.TXT"},  // not UTF-8: each stray byte is one character
  };
  for (const auto& c : kCases) EXPECT_EQ(ShortAlias(c.name, {}), c.alias) << c.name;
}

TEST(ShortNames, TailsCountUpAndShortenTheBasis) {
  std::set<std::string> taken = {"ALONGF~1.TXT", "ALONGF~2.TXT"};
  EXPECT_EQ(ShortAlias("A Long File Name.txt", taken), "ALONGF~3.TXT");
  for (int i = 3; i <= 9; ++i) taken.insert("ALONGF~" + std::to_string(i) + ".TXT");
  EXPECT_EQ(ShortAlias("A Long File Name.txt", taken), "ALONG~10.TXT");
  for (int i = 10; i <= 99; ++i) taken.insert("ALONG~" + std::to_string(i) + ".TXT");
  EXPECT_EQ(ShortAlias("A Long File Name.txt", taken), "ALON~100.TXT");
}

TEST(ShortNames, ADirectoryGetsTheSameAliasesInAnyOrder) {
  std::vector<std::string> names;
  for (int i = 1; i <= 12; ++i) names.push_back("Report number " + std::to_string(i) + ".txt");
  names.insert(names.end(), {"REPORT~3.TXT", "readme.txt", "README.TXT", "Program Files", "sub dir"});
  const std::vector<std::string> given = {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "PROGRA~2", ""};
  const std::vector<std::string> aliases = AssignShortAliases(names, given);
  // Tails go in listing order (1, 10, 11, 12, 2, ...) and pass by the real REPORT~3.TXT;
  // readme.txt is a valid 8.3 name that README.TXT has already.
  const std::vector<std::string> expected = {
      "REPORT~1.TXT", "REPORT~6.TXT", "REPORT~7.TXT", "REPORT~8.TXT", "REPORT~9.TXT", "REPOR~10.TXT",
      "REPOR~11.TXT", "REPOR~12.TXT", "REPOR~13.TXT", "REPORT~2.TXT", "REPORT~4.TXT", "REPORT~5.TXT",
      "", "README~1.TXT", "", "PROGRA~2", "SUBDIR~1"};
  EXPECT_EQ(aliases, expected);
  std::vector<std::size_t> order(names.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<std::string> shuffledNames, shuffledGiven;
  for (std::size_t i : order) {
    shuffledNames.push_back(names[i]);
    shuffledGiven.push_back(given[i]);
  }
  const std::vector<std::string> again = AssignShortAliases(shuffledNames, shuffledGiven);
  for (std::size_t k = 0; k < order.size(); ++k) EXPECT_EQ(again[k], expected[order[k]]) << shuffledNames[k];
}

TEST(ShortNames, AFolderOfManySimilarNamesGetsDistinctAliases) {
  std::vector<std::string> names;
  for (int i = 0; i < 12000; ++i) names.push_back("diagnostic log " + std::to_string(i) + ".txt");
  const std::vector<std::string> aliases = AssignShortAliases(names);
  const std::set<std::string> distinct(aliases.begin(), aliases.end());
  EXPECT_EQ(distinct.size(), names.size());
  for (const char* alias : {"DIAGNO~9.TXT", "DIAGN~99.TXT", "DIAG~999.TXT", "DIA~9999.TXT", "DI~12000.TXT"}) {
    EXPECT_EQ(distinct.count(alias), 1u) << alias;
  }
}

TEST(ShortNames, ChecksumAndDisplayOfKnownShortNames) {
  // The FAT checksum: rotate right by one, add the next byte.
  for (const char* name11 : {"README  TXT", "ALONGF~1TXT", "           "}) {
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>((sum >> 1) + (sum << 7) + name11[i]);
    EXPECT_EQ(ShortNameChecksum(reinterpret_cast<const std::uint8_t*>(name11)), sum) << name11;
  }
  EXPECT_EQ(EntryDisplayName(reinterpret_cast<const std::uint8_t*>("README  TXT")), "README.TXT");
  EXPECT_EQ(EntryDisplayName(reinterpret_cast<const std::uint8_t*>("NOEXT      ")), "NOEXT");
}

TEST(Utf8, NamesBecomeUtf16) {
  EXPECT_EQ(Utf8ToUtf16("caf\xC3\xA9"), (std::u16string{u'c', u'a', u'f', 0x00E9}));
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
  EXPECT_EQ(Utf8ToUtf16("a\xE9z"), (std::u16string{u'a', 0x00E9, u'z'}));  // not UTF-8: byte for byte
  EXPECT_EQ(Utf8ToUtf16("\xC0\x80"), (std::u16string{0x00C0, 0x0080}));     // overlong form refused
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0x00ED, 0x00A0, 0x0080}));  // a surrogate
}

}  // namespace
