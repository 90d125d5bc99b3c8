#include "zolp/package_config.h"

#include <string>
#include <vector>

#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::WriteFile;

class PackageConfigTest : public testing::ZolpTest {
 protected:
  void Write(const std::string& name, const std::string& text) { WriteFile(Cwd(name), text); }
  char value_[260] = {};
};

TEST_F(PackageConfigTest, OemVersionFoundByPrefix) {
  Write("Version.txt", "; package version\r\nOEM Version: A07\r\nBuild: 12\r\n");
  char version[40];
  EXPECT_TRUE(FindPackageValue(s_, "Version.txt", "OEM Ver", true, version, sizeof version));
  EXPECT_STREQ(version, "A07");
  // Without prefix matching the longer key does not match.
  EXPECT_FALSE(FindPackageValue(s_, "Version.txt", "OEM Ver", false, version, sizeof version));
  EXPECT_STREQ(version, "");
}

TEST_F(PackageConfigTest, KeysAndSectionsCompareWithoutCase) {
  Write("dd.cfg", "[hdd]\nimagename = disk.img\n");
  EXPECT_TRUE(ReadPackageValue(s_, "dd.cfg", "[HDD]", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "disk.img");
}

TEST_F(PackageConfigTest, ValueKeepsSemicolonCommentWhole) {
  Write("dd.cfg",
        "Package=Diags\n[CD]\nImageName=cd.iso\n[HDD]\n\tImageName=x.img ; comment  "
        "\n[FLASH]\nImageName=f.img\n");
  EXPECT_TRUE(ReadPackageValue(s_, "dd.cfg", "[HDD]", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "x.img ; comment");
}

// A drive's colon belongs to the path; any other colon still ends the value.
TEST_F(PackageConfigTest, ValueKeepsTheColonOfADrive) {
  Write("dd.cfg", "[HDD]\nImageName= C:\\images\\x.img\nVer: A05: build 7\n");
  EXPECT_TRUE(ReadPackageValue(s_, "dd.cfg", "[HDD]", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "C:\\images\\x.img");
  EXPECT_TRUE(ReadPackageValue(s_, "dd.cfg", "[HDD]", "Ver", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "A05");
}

TEST_F(PackageConfigTest, SectionLookupStopsAtTheNextSection) {
  Write("dd.cfg", "[CD]\nLabel=x\n[HDD]\nImageName=h.img\n");
  EXPECT_FALSE(ReadPackageValue(s_, "dd.cfg", "[CD]", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "");
  EXPECT_FALSE(
      ReadPackageValue(s_, "dd.cfg", "[DISKETTE]", "ImageName", false, value_, sizeof value_));
}

TEST_F(PackageConfigTest, WholeFileLookupSeesKeysInAnySectionAndHeaders) {
  Write("dd.cfg", "[CD]\nPackage=first\n[Disk1]\nPackage=second\n");
  char package[128];
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "Package", false, package, sizeof package));
  EXPECT_STREQ(package, "first");
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "[Disk1]", false, nullptr, 0));
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "[disk1]", false, nullptr, 0));
  EXPECT_FALSE(FindPackageValue(s_, "dd.cfg", "[Disk2]", false, nullptr, 0));
}

TEST_F(PackageConfigTest, EmptyValueGoesOnSearching) {
  Write("dd.cfg", "ImageName=\nImageName = \nImageName=late.img\n");
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "late.img");
  Write("dd.cfg", "ImageName=\n");
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "ImageName", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "");
}

TEST_F(PackageConfigTest, ValueEndsAtTheNextSeparatorAndIsTruncatedToTheBuffer) {
  Write("dd.cfg", "Time: 12:30\nLong=abcdefghij\n");
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "Time", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "12");
  char small[5];
  EXPECT_TRUE(FindPackageValue(s_, "dd.cfg", "Long", false, small, sizeof small));
  EXPECT_STREQ(small, "abcd");
}

TEST_F(PackageConfigTest, ContinuationLinesAreJoinedWithOneBlank) {
  Write("Version.txt", "Notes: first part\n   second part  \n\tthird\nNext: x\nlost\n");
  EXPECT_TRUE(FindPackageValue(s_, "Version.txt", "Notes", false, value_, sizeof value_, {}, true));
  EXPECT_STREQ(value_, "first part second part third");
  EXPECT_TRUE(FindPackageValue(s_, "Version.txt", "Notes", false, value_, sizeof value_));
  EXPECT_STREQ(value_, "first part");
}

TEST_F(PackageConfigTest, ContinuationStopsAtTheEndOfTheFileAndAtASection) {
  Write("a.txt", "Notes: one\ntwo");
  EXPECT_TRUE(FindPackageValue(s_, "a.txt", "Notes", false, value_, sizeof value_, {}, true));
  EXPECT_STREQ(value_, "one two");
  Write("b.txt", "Notes: one\n[Next]\nthree\n");
  EXPECT_TRUE(FindPackageValue(s_, "b.txt", "Notes", false, value_, sizeof value_, {}, true));
  EXPECT_STREQ(value_, "one");
}

TEST_F(PackageConfigTest, CallbackGetsTheSectionsLinesUntilTheNextHeader) {
  Write("DD.CFG",
        "[UP_COPY]\n  DIAGS\\*.* DIAGS\n; a "
        "comment\n\nREADME.TXT\nVERSION.TXT=x\n[UP_DELETE]\nOLD.EXE\n");
  std::vector<std::string> seen;
  EXPECT_TRUE(
      FindPackageValue(s_, "DD.CFG", "[UP_COPY]", false, nullptr, 0, [&](std::string_view token) {
        seen.emplace_back(token);
        return false;
      }));
  EXPECT_EQ(seen, (std::vector<std::string>{"DIAGS\\*.* DIAGS", "README.TXT", "VERSION.TXT"}));
}

TEST_F(PackageConfigTest, CallbackAnsweringTrueStopsTheWalk) {
  Write("DD.CFG", "[UP_DELETE]\nA\nB\nC\n");
  std::vector<std::string> seen;
  EXPECT_TRUE(
      FindPackageValue(s_, "DD.CFG", "[UP_DELETE]", false, nullptr, 0, [&](std::string_view token) {
        seen.emplace_back(token);
        return token == "B";
      }));
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B"}));
}

TEST_F(PackageConfigTest, MissingFileIsNotFoundAndReportedOnlyInVerboseMode) {
  EXPECT_FALSE(FindPackageValue(s_, "DD.CFG", "[Disk1]", false, nullptr, 0));
  EXPECT_TRUE(host_.Messages().empty());
  SetVerbose();
  EXPECT_FALSE(FindPackageValue(s_, "DD.CFG", "[Disk1]", false, nullptr, 0));
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].title, "File Open Failed");
  EXPECT_EQ(host_.Messages()[0].text,
            "Opening DD.CFG failed with error 2: The system cannot find the file specified.");
}

TEST_F(PackageConfigTest, DiagVersionIsTheLineAfterItsHeader) {
  Write("OrvoDiag.ini", "; generated\n# by the build\n  [DiagVersion]  \n  2.14.0 build 7 \n");
  char version[32];
  ReadDiagVersion(s_, "OrvoDiag.ini", version, sizeof version);
  EXPECT_STREQ(version, "2.14.0 build 7");
}

TEST_F(PackageConfigTest, DiagVersionIsUnknownOtherwise) {
  char version[32];
  ReadDiagVersion(s_, "missing.ini", version, sizeof version);
  EXPECT_STREQ(version, "Unknown");
  Write("a.ini", "[Other]\n[DiagVersion]\n1.0\n");
  ReadDiagVersion(s_, "a.ini", version, sizeof version);
  EXPECT_STREQ(version, "Unknown");
  Write("b.ini", "[DiagVersion]\n");
  ReadDiagVersion(s_, "b.ini", version, sizeof version);
  EXPECT_STREQ(version, "Unknown");
}

}  // namespace
}  // namespace zolp
