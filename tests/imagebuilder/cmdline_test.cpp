// Command line, DD.CFG reading and presets.
#include <gtest/gtest.h>

#include "imagebuilder/error_codes.h"
#include "imagebuilder/settings.h"
#include "test_support.h"

namespace {

using imagebuilder::Settings;
using imagebuilder::SettingsParser;

struct Parsed {
  bool ok = false;
  bool help = false;
  int reported = 0;
  Settings settings;
  std::string usage;
};

// Parses a command line against an in-memory configuration file "dd.cfg".
Parsed Parse(std::vector<std::string> args, const std::string& cfg = "") {
  Parsed r;
  SettingsParser parser(r.settings, [&r](int code) {
    if (r.reported == 0) r.reported = code;
  });
  parser.root().isFile = [](const std::string& p, std::string& why) {
    why = "does not exist";
    return p == "dd.cfg";
  };
  parser.parser().readLines = [&cfg](const std::string&, std::vector<std::string>& lines) {
    std::size_t start = 0;
    while (start < cfg.size()) {
      std::size_t end = cfg.find('\n', start);
      if (end == std::string::npos) end = cfg.size();
      lines.push_back(cfg.substr(start, end - start));
      start = end + 1;
    }
    return true;
  };
  std::vector<const char*> argv{"vellix"};
  for (const auto& a : args) argv.push_back(a.c_str());
  r.ok = parser.parse(static_cast<int>(argv.size()), argv.data());
  r.help = parser.helpRequested();
  r.usage = parser.UsageTable();
  return r;
}

const std::vector<std::string> kRequired{"-b", "bs", "-f", "tree"};

std::vector<std::string> With(std::vector<std::string> more) {
  std::vector<std::string> a = kRequired;
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

TEST(HelpRequest, EveryTriggerExits59AndPrintsTheKeyTable) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-?"}, {"-h"}, {"--HELP"}, {"--help"}, {"-zh"}}) {
    const vtest::RunResult r = vtest::Run(args);
    EXPECT_EQ(r.code, 59) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.output.find("Vellix 3.2.5 (Lite)"), std::string::npos);
    EXPECT_NE(r.output.find("SectPerCluster     -c      <uchar>   0             sectors per cluster"),
              std::string::npos) << r.output;
    EXPECT_NE(r.output.find("DebugLevel         -d      <list>    \"error\""), std::string::npos);
    EXPECT_NE(r.output.find("ZeroData           -z      [bool]"), std::string::npos);
    EXPECT_NE(r.output.find("CfgFile            #1      <string>"), std::string::npos);
  }
}

TEST(HelpRequest, SwitchesBeforeTheHelpLetterAreStillApplied) {
  const Parsed p = Parse({"-zh"});
  EXPECT_TRUE(p.help);
  EXPECT_TRUE(p.settings.zeroData);
}

TEST(HelpRequest, UsageListsKeysInRegistrationOrder) {
  const Parsed p = Parse({"-?"});
  const char* order[] = {"CfgFile", "Section", "PartitionType", "BsFileName", "SectPerCluster",
                         "Cylinders", "DebugLevel", "ProcessContainer", "FileRoot", "NumFATs",
                         "Grub", "Heads", "ImageName", "ISO", "LongFN", "MbrFileName",
                         "MediaType", "NoCHSRounding", "ISOVolumeID", "OrderedFile", "OemName",
                         "PartitionSize", "Publisher", "RootDirEntries", "ReservedSectors",
                         "SectorSize", "SecPerTrack", "NumSectors", "DiskType", "VolumeLabel",
                         "VolumeID", "ExcludeFile", "ExtendedPartition", "FATType",
                         "ISOReadmeName", "ZeroData"};
  std::size_t at = 0;
  for (const char* key : order) {
    const std::size_t found = p.usage.find(std::string("  ") + key + " ", at);
    ASSERT_NE(found, std::string::npos) << key;
    at = found + 1;
  }
}

TEST(CommandLine, RefusedInputExits42) {
  vtest::Package pkg;
  EXPECT_EQ(vtest::Run({"missing.cfg", "HDD"}).code, 42);  // configuration file must exist
  EXPECT_EQ(vtest::Run({"-f", pkg.root.string()}).code, 42);  // BsFileName is required
  EXPECT_EQ(vtest::Run(pkg.Args({"-i", "again.img"})).code, 42);  // duplicate option
  EXPECT_EQ(vtest::Run(pkg.Args({"-v", "TWELVE CHARS"})).code, 42);
  EXPECT_EQ(vtest::Run(pkg.Args({"-t"})).code, 42);  // value missing at the end
}

TEST(CommandLine, PresetAndValidatorCodesStandOver42) {
  vtest::Package pkg;
  EXPECT_EQ(vtest::Run(pkg.Args({"-T", "1000"})).code, 58);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T", "0"})).code, 58);
  EXPECT_EQ(vtest::Run(pkg.Args({"-y", "32"})).code, 76);
  EXPECT_EQ(vtest::Run(pkg.Args({"-c", "3"})).code, 77);
  EXPECT_EQ(vtest::Run(pkg.Args({"-c", "128"})).code, 77);
}

TEST(CommandLine, OptionLettersAreCaseSensitive) {
  const Parsed p = Parse(With({"-s", "1024", "-S", "9"}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.sectorSize, 1024u);
  EXPECT_EQ(p.settings.secPerTrack, 9);
}

TEST(CommandLine, ValueAttachedOrInNextArgumentAndSwitchesShareOneArgument) {
  const Parsed p = Parse(With({"-ifoo.img", "-zLn", "-v", "LABEL"}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.imageName, "foo.img");
  EXPECT_TRUE(p.settings.zeroData);
  EXPECT_TRUE(p.settings.longFN);
  EXPECT_TRUE(p.settings.noCHSRounding);
  EXPECT_EQ(p.settings.volumeLabel, "LABEL");
}

TEST(CommandLine, LongFormsByName) {
  const Parsed p = Parse(With({"--imagename=x.img", "--NumFATs:1", "--zerodata"}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.imageName, "x.img");
  EXPECT_EQ(p.settings.numFATs, 1);
  EXPECT_TRUE(p.settings.zeroData);
  EXPECT_TRUE(Parse(With({"--NoSuchKey=1", "-j"})).ok);  // unknown names and letters are ignored
}

TEST(CommandLine, RepeatableKeysKeepTheirOrder) {
  const Parsed p = Parse(With({"-o", "IO.SYS", "-o", "MSDOS.SYS", "-x", "\\SUB\\*.TMP\\"}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.orderedFiles, (std::vector<std::string>{"IO.SYS", "MSDOS.SYS"}));
  EXPECT_EQ(p.settings.excludeFiles, (std::vector<std::string>{"SUB\\*.TMP"}));
}

TEST(CommandLine, PresetValuesCannotBeGivenAgain) {
  EXPECT_FALSE(Parse(With({"-T1440", "-S9"})).ok);
  EXPECT_FALSE(Parse(With({"-X", "-H", "16"})).ok);
}

TEST(CommandLine, NumberBounds) {
  EXPECT_FALSE(Parse(With({"-H", "0"})).ok);
  EXPECT_FALSE(Parse(With({"-H", "256"})).ok);
  EXPECT_TRUE(Parse(With({"-H", "255"})).ok);
  EXPECT_FALSE(Parse(With({"-C", "1025"})).ok);
  EXPECT_FALSE(Parse(With({"-F", "256"})).ok);  // above 255 for an 8-bit key
  EXPECT_FALSE(Parse(With({"-r", "15"})).ok);
  EXPECT_FALSE(Parse(With({"-S", "64"})).ok);
  EXPECT_FALSE(Parse(With({"-a", "0"})).ok);
  EXPECT_FALSE(Parse(With({"-V", "4294967296"})).ok);
  EXPECT_TRUE(Parse(With({"-V", "4294967295"})).ok);
  const Parsed p = Parse(With({"-r", "224abc"}));  // digits after the number are not looked at
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.rootDirEntries, 224);
}

TEST(CommandLine, SectorSizeMustBeOneAFatVolumeCanHave) {
  EXPECT_FALSE(Parse(With({"-s", "1"})).ok);
  EXPECT_FALSE(Parse(With({"-s", "100"})).ok);
  EXPECT_FALSE(Parse(With({"-s", "8192"})).ok);
  EXPECT_TRUE(Parse(With({"-s", "4096"})).ok);
}

TEST(CommandLine, StringLengthLimits) {
  EXPECT_TRUE(Parse(With({"-v", "ELEVEN CHAR"})).ok);
  EXPECT_FALSE(Parse(With({"-v", "TWELVE CHARS"})).ok);
  EXPECT_TRUE(Parse(With({"-O", "EIGHTCHR"})).ok);
  EXPECT_FALSE(Parse(With({"-O", "NINECHARS"})).ok);
  EXPECT_TRUE(Parse(With({"-o", "TWELVECH.ARS"})).ok);
  EXPECT_FALSE(Parse(With({"-o", "THIRTEEN.CHAR"})).ok);
  EXPECT_FALSE(Parse(With({"-N", std::string(33, 'X')})).ok);
  EXPECT_TRUE(Parse(With({"-N", std::string(32, 'X')})).ok);
}

TEST(ConfigFile, FirstOccurrenceWinsAndTheCommandLineBeatsTheFile) {
  const std::string cfg = "ImageName=a.img\n[CD]\nImageName=b.img\n";
  EXPECT_EQ(Parse(With({"dd.cfg", "CD"}), cfg).settings.imageName, "a.img");
  const std::string cfg2 = "[CD]\nImageName=Y.img\n";
  EXPECT_EQ(Parse(With({"dd.cfg", "CD", "-iX.img"}), cfg2).settings.imageName, "X.img");
}

TEST(ConfigFile, OnlyGlobalKeysAndTheSelectedSectionApply) {
  const std::string cfg =
      "NumFATs=1\n[HDD]\nMediaType=240\n[cd]\nRootDirEntries=32\n[FLASH]\nOemName=FLASH\n";
  const Parsed p = Parse({"dd.cfg", "CD", "-b", "bs", "-f", "t"}, cfg);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.numFATs, 1);
  EXPECT_EQ(p.settings.rootDirEntries, 32);  // section names ignore case
  EXPECT_EQ(p.settings.mediaType, 0xF8);
  EXPECT_EQ(p.settings.oemName, "MSWIN4.1");
}

TEST(ConfigFile, SectionOptionByNameSelectsNothing) {
  const std::string cfg = "[CD]\nNumFATs=1\nSection=CD\n";
  const Parsed p = Parse(With({"dd.cfg", "--Section=CD"}), cfg);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.numFATs, 2);
  EXPECT_EQ(p.settings.section, "CD");
}

TEST(ConfigFile, LineSyntax) {
  const std::string cfg =
      "  # comment\n"
      "; another\n"
      "\tVolumeLabel : MY DISK  # trailing comment\r\n"
      "oemname=ABC;x\r\n"
      "ZeroData\n"
      "LongFN=yes\n"
      "ExcludeFile=\\TEMP\\\n"
      "ExcludeFile=*.BAK\n"
      "[X]\n";
  const Parsed p = Parse(With({"dd.cfg", "X"}), cfg);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.volumeLabel, "MY DISK");
  EXPECT_EQ(p.settings.oemName, "ABC");
  EXPECT_TRUE(p.settings.zeroData);   // a key alone reads as true
  EXPECT_FALSE(p.settings.longFN);    // "yes" is no number: false
  EXPECT_EQ(p.settings.excludeFiles, (std::vector<std::string>{"TEMP", "*.BAK"}));
  EXPECT_FALSE(Parse(With({"dd.cfg", "X"}), "[X]\nCylinders=  \n").ok);  // a number needs a value
}

TEST(ConfigFile, ARefusedValueFailsAndADuplicateIsIgnored) {
  EXPECT_FALSE(Parse(With({"dd.cfg", "X"}), "[X]\nDebugLevel=2\n").ok);
  EXPECT_TRUE(Parse(With({"dd.cfg", "X"}), "[X]\nDebugLevel=Status\n").ok);
  const Parsed p = Parse(With({"dd.cfg", "X", "-F", "1"}), "NumFATs=300\n[X]\nNumFATs=3\n");
  EXPECT_TRUE(p.ok);  // both lines are ignored: the command line set NumFATs
  EXPECT_EQ(p.settings.numFATs, 1);
}

TEST(ConfigFile, PresetsOverrideEarlierLinesAndWinOverLaterOnes) {
  const Parsed p = Parse(With({"dd.cfg", "X"}), "SecPerTrack=9\nDiskType=1440\n[X]\nSecPerTrack=9\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.secPerTrack, 18);
  EXPECT_EQ(p.settings.fatType, 12);
  EXPECT_EQ(p.settings.heads, 2);
  EXPECT_EQ(p.settings.bootMediaType, 2);
}

TEST(ConfigFile, EmptySectionHeaderActsAsGlobal) {
  const Parsed p = Parse(With({"dd.cfg", "X"}), "[OTHER]\nNumFATs=3\n[]\nMediaType=240\n[X]\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.numFATs, 2);
  EXPECT_EQ(p.settings.mediaType, 240);
}

struct DiskPresetRow {
  int kb;
  int cylinders, secPerTrack, rootEntries, media, spc, bootMedia;
};

class DiskPreset : public ::testing::TestWithParam<DiskPresetRow> {};

TEST_P(DiskPreset, SetsTheTableValues) {
  const DiskPresetRow row = GetParam();
  const Parsed p = Parse(With({"-T", std::to_string(row.kb)}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.fatType, 12);
  EXPECT_EQ(p.settings.heads, 2);
  EXPECT_EQ(p.settings.cylinders, row.cylinders);
  EXPECT_EQ(p.settings.secPerTrack, row.secPerTrack);
  EXPECT_EQ(p.settings.rootDirEntries, row.rootEntries);
  EXPECT_EQ(p.settings.mediaType, row.media);
  EXPECT_EQ(p.settings.sectPerCluster, row.spc);
  EXPECT_EQ(p.settings.bootMediaType, row.bootMedia);
}

INSTANTIATE_TEST_SUITE_P(Presets, DiskPreset,
                         ::testing::Values(DiskPresetRow{360, 40, 9, 112, 0xFD, 2, 0xFF},
                                           DiskPresetRow{720, 80, 9, 112, 0xF9, 2, 0xFF},
                                           DiskPresetRow{1200, 80, 15, 224, 0xF9, 1, 1},
                                           DiskPresetRow{1440, 80, 18, 224, 0xF0, 1, 2},
                                           DiskPresetRow{2880, 80, 36, 240, 0xF0, 2, 3},
                                           DiskPresetRow{3840, 80, 48, 240, 0xF0, 2, 0xFF}));

TEST(Presets, ExtendedPartitionGeometry) {
  const Parsed p = Parse(With({"-X"}));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.settings.cylinders, 1023);
  EXPECT_EQ(p.settings.heads, 255);
  EXPECT_EQ(p.settings.secPerTrack, 63);
  EXPECT_EQ(Parse(With({"--ExtendedPartition=0"})).settings.heads, 0);
}

TEST(ErrorTable, EveryCodeHasItsMessage) {
  int count = 0;
  const imagebuilder::ErrorInfo* table = imagebuilder::ErrorTable(count);
  EXPECT_EQ(count, 79);
  for (int i = 1; i < count; ++i) EXPECT_LT(table[i - 1].code, table[i].code);
  EXPECT_STREQ(imagebuilder::FindError(42)->text, "Error processing the command line parameters.");
  EXPECT_STREQ(imagebuilder::FindError(59)->text, "Help was displayed.");
  EXPECT_EQ(imagebuilder::FindError(19), nullptr);
}

}  // namespace
