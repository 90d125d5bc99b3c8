// Short names, generated aliases, long-name entries and their checksums.
#include <gtest/gtest.h>

#include "imagebuilder/fat/dir_entry.h"
#include "imagebuilder/exclusion.h"
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

TEST(ShortNames, ValidEightDotThree) {
  EXPECT_TRUE(IsValidShortName("README.TXT"));
  EXPECT_TRUE(IsValidShortName("readme.txt"));  // letter case does not matter
  EXPECT_TRUE(IsValidShortName("A"));
  EXPECT_TRUE(IsValidShortName("12345678.123"));
  EXPECT_TRUE(IsValidShortName("$A~1_(X).{}"));
  EXPECT_FALSE(IsValidShortName("123456789"));
  EXPECT_FALSE(IsValidShortName("A.1234"));
  EXPECT_FALSE(IsValidShortName("A.B.C"));
  EXPECT_FALSE(IsValidShortName("A B"));
  EXPECT_FALSE(IsValidShortName(".profile"));
  EXPECT_FALSE(IsValidShortName("A."));
  EXPECT_FALSE(IsValidShortName("A+B"));
  EXPECT_FALSE(IsValidShortName("caf\xC3\xA9"));
}

TEST(ShortNames, AliasesFollowTheWindowsRule) {
  std::set<std::string> taken;
  EXPECT_EQ(MakeShortAlias("A Long File Name.txt", taken), "ALONGF~1.TXT");
  EXPECT_EQ(MakeShortAlias("flashutil.com", taken), "FLASHU~1.COM");
  EXPECT_EQ(MakeShortAlias("archive.tar.gz", taken), "ARCHIV~1.GZ");
  EXPECT_EQ(MakeShortAlias(".gitignore", taken), "GITIGN~1");
  EXPECT_EQ(MakeShortAlias("a+b=c[1].html", taken), "A_B_C_~1.HTM");
  EXPECT_EQ(MakeShortAlias("...", taken), "_~1");
  taken = {"ALONGF~1.TXT", "ALONGF~2.TXT"};
  EXPECT_EQ(MakeShortAlias("A Long File Name.txt", taken), "ALONGF~3.TXT");
  for (int i = 3; i <= 9; ++i) taken.insert("ALONGF~" + std::to_string(i) + ".TXT");
  EXPECT_EQ(MakeShortAlias("A Long File Name.txt", taken), "ALONG~10.TXT");
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

TEST(LongNames, ChecksumOfKnownShortNames) {
  // The FAT checksum: rotate right by one, add the next byte.
  auto check = [](const char* name11) {
    ShortName n{};
    for (int i = 0; i < 11; ++i) n[i] = static_cast<std::uint8_t>(name11[i]);
    std::uint8_t sum = 0;
    for (int i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>((sum >> 1) + (sum << 7) + n[i]);
    EXPECT_EQ(LongNameChecksum(n), sum) << name11;
    return LongNameChecksum(n);
  };
  check("README  TXT");
  check("ALONGF~1TXT");
  ShortName blank{};
  blank.fill(' ');
  EXPECT_EQ(LongNameChecksum(blank), check("           "));
}

TEST(LongNames, ShortNameFitsOnePartWithTerminatorAndPadding) {
  const ShortName sn = NameEntry(Named("readme.txt")).shortName;
  const auto entries = SerializeLongName("readme.txt", sn);
  ASSERT_EQ(entries.size(), 1u);
  const DirEntryBytes& e = entries[0];
  EXPECT_EQ(e[0], 0x41);
  EXPECT_EQ(e[11], 0x0F);
  EXPECT_EQ(e[12], 0);
  EXPECT_EQ(e[13], LongNameChecksum(sn));
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

TEST(LongNames, NonAsciiNamesBecomeUtf16) {
  EXPECT_EQ(ToUtf16("caf\xC3\xA9"), (std::u16string{u'c', u'a', u'f', 0x00E9}));
  EXPECT_EQ(ToUtf16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
  EXPECT_EQ(ToUtf16("a\xE9z"), (std::u16string{u'a', 0x00E9, u'z'}));  // not UTF-8: byte for byte
  EXPECT_EQ(ToUtf16("\xC0\x80"), (std::u16string{0x00C0, 0x0080}));     // overlong form refused
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
