// The builder's listings, entry names and long-name entries; the short-name
// rules themselves are tested with common/.
#include <gtest/gtest.h>

#include "common/short_names.h"
#include "imagebuilder/exclusion.h"
#include "imagebuilder/fat/dir_entry.h"
#include "imagebuilder/naming.h"

namespace {

using namespace imagebuilder;

std::string Text(const ShortName& n) { return std::string(n.begin(), n.end()); }

HostEntry Named(const std::string& name, const std::string& alias = "") {
  HostEntry e;
  e.name = name;
  e.shortAlias = alias;
  return e;
}

TEST(ShortNames, ListingIsSortedAndAliasesAreUniqueAndStable) {
  std::vector<HostEntry> list{Named("Zeta.txt"), Named("a long name 2.txt"),
                              Named("A Long Name 1.txt"), Named("beta.TXT"), Named("BETA.txt")};
  PrepareListing(list);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].name, "A Long Name 1.txt");
  EXPECT_EQ(list[0].shortAlias, "ALONGN~1.TXT");
  EXPECT_EQ(list[1].name, "a long name 2.txt");
  EXPECT_EQ(list[1].shortAlias, "ALONGN~2.TXT");
  // Two names that differ only in case (possible on Linux) must not share a short name.
  EXPECT_EQ(list[2].name, "BETA.txt");
  EXPECT_EQ(list[2].shortAlias, "");
  EXPECT_EQ(list[3].name, "beta.TXT");
  EXPECT_EQ(list[3].shortAlias, "BETA~1.TXT");
  EXPECT_EQ(list[4].name, "Zeta.txt");
  // Created in another order, the same names get the same aliases.
  std::vector<HostEntry> again{Named("a long name 2.txt"), Named("A Long Name 1.txt")};
  PrepareListing(again);
  EXPECT_EQ(again[0].shortAlias, "ALONGN~1.TXT");
  EXPECT_EQ(again[1].shortAlias, "ALONGN~2.TXT");
}

TEST(ShortNames, AHostAliasIsKept) {
  std::vector<HostEntry> list{Named("Program Files", "PROGRA~2")};
  PrepareListing(list);
  EXPECT_EQ(list[0].shortAlias, "PROGRA~2");
}

TEST(EntryNames, LowerCaseNameWithoutAliasKeepsItsCaseAsLongName) {
  const EntryNames n = NameEntry(Named("readme.txt"));
  EXPECT_EQ(Text(n.shortName), "README  TXT");
  EXPECT_EQ(n.longName, "readme.txt");
  EXPECT_EQ(n.error, 0);
  const EntryNames upper = NameEntry(Named("IO.SYS"));
  EXPECT_EQ(Text(upper.shortName), "IO      SYS");
  EXPECT_TRUE(upper.longName.empty());
}

TEST(EntryNames, AliasGivesTheShortNameAndTheFullNameIsLong) {
  const EntryNames n = NameEntry(Named("A Long File Name.txt", "ALONGF~1.TXT"));
  EXPECT_EQ(Text(n.shortName), "ALONGF~1TXT");
  EXPECT_EQ(n.longName, "A Long File Name.txt");
  EXPECT_EQ(Text(NameEntry(Named("NOEXT")).shortName), "NOEXT      ");
}

TEST(EntryNames, RefusedNames) {
  EXPECT_EQ(NameEntry(Named(" LEADING")).error, 35);
  EXPECT_EQ(NameEntry(Named("x", "THIRTEEN.CHAR")).error, 51);
  EXPECT_EQ(NameEntry(Named("x", "TWELVECH.ARS")).error, 0);
}

TEST(EntryNames, DotsAndLabelArePaddedWhole) {
  EXPECT_EQ(Text(DotName(false)), ".          ");
  EXPECT_EQ(Text(DotName(true)), "..         ");
  EXPECT_EQ(Text(LabelName("my.disk")), "MY.DISK    ");
}

TEST(LongNames, ShortNameFitsOnePartWithTerminatorAndPadding) {
  const ShortName sn = NameEntry(Named("readme.txt")).shortName;
  const auto entries = SerializeLongName("readme.txt", sn);
  ASSERT_EQ(entries.size(), 1u);
  const common::DirEntry& e = entries[0];
  EXPECT_EQ(e[0], 0x41);
  EXPECT_EQ(e[11], 0x0F);
  EXPECT_EQ(e[12], 0);
  EXPECT_EQ(e[13], common::ShortNameChecksum(sn.data()));
  EXPECT_EQ(e[26], 0);
  EXPECT_EQ(e[27], 0);
  const std::size_t slots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  const std::string name = "readme.txt";
  for (std::size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(e[slots[i]], name[i]);
    EXPECT_EQ(e[slots[i] + 1], 0);
  }
  EXPECT_EQ(e[slots[10]], 0x00);  // terminator
  EXPECT_EQ(e[slots[10] + 1], 0x00);
  for (std::size_t i = 11; i < 13; ++i) {
    EXPECT_EQ(e[slots[i]], 0xFF);
    EXPECT_EQ(e[slots[i] + 1], 0xFF);
  }
}

TEST(LongNames, TwentySixCharactersFillTwoPartsExactly) {
  const std::string name = "abcdefghijklmnopqrstuvwxyz";
  const ShortName sn = NameEntry(Named(name, "ABCDEF~1")).shortName;
  const auto entries = SerializeLongName(name, sn);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0][0], 0x42);
  EXPECT_EQ(entries[1][0], 0x01);
  EXPECT_EQ(entries[0][1], 'n');   // part 2 starts with the 14th character
  EXPECT_EQ(entries[0][30], 'z');  // and ends with the 26th: no terminator
  EXPECT_EQ(entries[1][1], 'a');
  EXPECT_EQ(LongNameEntryCount(name), 2u);
  EXPECT_EQ(LongNameEntryCount(name + "!"), 3u);
}

TEST(Exclusions, DirectoryPartAndWildcards) {
  const auto patterns = CompileExclusions({"SUB\\*.TMP", "*.BAK", "README.TXT", "deep/dir/x.*",
                                           "Video*", "Release Notes for Diagnostics.txt"});
  auto excluded = [&](const std::string& dir, const std::string& name,
                      const std::string& alias = "") {
    return IsExcluded(patterns, dir, Named(name, alias));
  };
  EXPECT_TRUE(excluded("SUB\\", "a.tmp"));
  EXPECT_TRUE(excluded("sub\\", "B.TMP"));
  EXPECT_FALSE(excluded("", "a.tmp"));
  EXPECT_FALSE(excluded("SUB\\DEEP\\", "a.tmp"));
  EXPECT_TRUE(excluded("", "old.bak"));
  EXPECT_FALSE(excluded("SUB\\", "old.bak"));
  EXPECT_TRUE(excluded("", "readme.txt"));
  EXPECT_TRUE(excluded("DEEP\\DIR\\", "x"));
  EXPECT_TRUE(excluded("DEEP\\DIR\\", "x.c"));
  EXPECT_TRUE(excluded("", "Video Test Suite"));
  EXPECT_TRUE(excluded("", "Release Notes for Diagnostics.txt"));
  EXPECT_TRUE(excluded("", "whatever.long", "OLD~1.BAK"));  // the alias matches too
  EXPECT_FALSE(excluded("", "readme.txt.orig"));
}

TEST(Exclusions, NameIsCutToEightAndExtensionToFour) {
  const auto patterns = CompileExclusions({"LONGFILENAME.TEXT"});
  EXPECT_TRUE(IsExcluded(patterns, "", Named("LONGFILE.TEX")));
  EXPECT_TRUE(IsExcluded(patterns, "", Named("longfilename.text")));
}

TEST(Exclusions, WildcardMatching) {
  EXPECT_TRUE(WildcardMatch("*", ""));
  EXPECT_TRUE(WildcardMatch("a?c", "ABC"));
  EXPECT_FALSE(WildcardMatch("a?c", "AC"));
  EXPECT_TRUE(WildcardMatch("*.*", "NOEXT.X"));
  EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYc"));
  EXPECT_FALSE(WildcardMatch("a*b*c", "aXXbYY"));
}

}  // namespace
