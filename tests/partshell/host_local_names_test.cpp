// The Linux host gives each local name that is not a valid 8.3 name the alias Windows gives
// it; the alias reaches the file, and a pattern matches the name or the alias.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "disk_test_support.h"

namespace partshell::testing {
namespace {

TEST(HostLocalNames, AliasesAreWindowsAndReachTheirFiles) {
  const std::map<std::string, std::string> expected = {  // "": the name is its own short name
      {"flashutil.com", "FLASHU~1.COM"}, {"Release Notes for Diagnostics.txt", "RELEAS~1.TXT"},
      {"archive.tar.gz", "ARCHIV~1.GZ"}, {".bashrc", "BASHRC~1"}, {"ünïcode.txt", "_N_COD~1.TXT"},
      {"Report 2019 draft.doc", "REPORT~1.DOC"}, {"Report 2019 final.doc", "REPORT~2.DOC"},
      {"REPORT~1.TXT", ""}, {"report~1 x.txt", "REPORT~2.TXT"}, {"photo.jpeg", "PHOTO~1.JPE"}};
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "Long Folder");
  for (const auto& [name, alias] : expected) std::ofstream(dir.path() / "Long Folder" / name) << name;
  const std::unique_ptr<LocalFiles> files = CreateHostLocalFiles();
  std::vector<LocalEntry> entries;
  std::uint32_t error = 0;
  ASSERT_TRUE(files->ReadDirectory(dir / "LONGFO~1", entries, error)) << error;
  ASSERT_EQ(entries.size(), expected.size());
  for (const LocalEntry& entry : entries) {
    EXPECT_EQ(entry.short_name, expected.at(entry.name)) << entry.name;
    if (entry.short_name.empty()) continue;
    EXPECT_EQ(files->Status(dir / ("longfo~1/" + common::LowerAscii(entry.short_name))).size, entry.name.size());
  }
  std::vector<std::string> found;
  LocalEntry entry;
  if (auto search = files->FindFirst(dir / "LONGFO~1\\*~1.*", entry)) {
    do found.push_back(entry.name);
    while (files->FindNext(*search, entry));
  }
  EXPECT_EQ(found, (std::vector<std::string>{".bashrc", "archive.tar.gz", "flashutil.com", "photo.jpeg",
                                             "Release Notes for Diagnostics.txt", "Report 2019 draft.doc",
                                             "REPORT~1.TXT", "ünïcode.txt"}));
  ASSERT_NE(files->FindFirst(dir / "Long Folder/releas~1.txt", entry), nullptr);
  EXPECT_EQ(entry.name, "Release Notes for Diagnostics.txt");
}

}  // namespace
}  // namespace partshell::testing
