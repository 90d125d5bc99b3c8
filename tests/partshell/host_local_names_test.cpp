// The Linux host's local files: every name that is not a valid 8.3 name gets
// the alias Windows gives it, the alias reaches the long-named file, and a
// pattern matches a name or its alias. The disk lock keeps two shells off one
// disk and lets shells on two disks run side by side.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "disk_test_support.h"
#include "partshell/posix_host.h"

namespace partshell::testing {
namespace {

TEST(HostLocalNames, AliasesAreWindowsAndReachTheirFiles) {
  // Long, with blanks, with several dots, a leading dot, non-ASCII, basis collisions;
  // "" where the name is its own short name.
  const std::map<std::string, std::string> expected = {
      {"flashutil.com", "FLASHU~1.COM"},
      {"Release Notes for Diagnostics.txt", "RELEAS~1.TXT"},
      {"My Long Diagnostic Report.txt", "MYLONG~1.TXT"},
      {"archive.tar.gz", "ARCHIV~1.GZ"},
      {".bashrc", "BASHRC~1"},
      {"ünïcode.txt", "_N_COD~1.TXT"},
      {"photo.jpeg", "PHOTO~1.JPE"},
      {"Report 2019 draft.doc", "REPORT~1.DOC"},
      {"Report 2019 final.doc", "REPORT~2.DOC"},
      {"REPORT~1.TXT", ""},
      {"report~1 x.txt", "REPORT~2.TXT"},
      {"README.TXT", ""},
      {"readme2.txt", ""},
  };
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "Long Folder");
  for (const auto& [name, alias] : expected) std::ofstream(dir.path() / "Long Folder" / name) << name;
  const std::unique_ptr<LocalFiles> files = CreateHostLocalFiles();

  std::vector<LocalEntry> entries;
  std::uint32_t error = 0;
  ASSERT_TRUE(files->ReadDirectory(dir / "Long Folder", entries, error)) << error;
  ASSERT_EQ(entries.size(), expected.size());
  for (const LocalEntry& entry : entries) {
    EXPECT_EQ(entry.short_name, expected.at(entry.name)) << entry.name;
    if (entry.short_name.empty()) continue;
    // The folder by its alias too, and the alias in any letter case.
    const std::string by_alias = dir / ("LONGFO~1/" + common::LowerAscii(entry.short_name));
    const LocalStatus status = files->Status(by_alias);
    EXPECT_EQ(status.kind, LocalKind::file) << by_alias;
    EXPECT_EQ(status.size, entry.name.size()) << by_alias;
    std::unique_ptr<LocalFile> file = files->Open(by_alias, LocalOpenMode::read, error);
    ASSERT_NE(file, nullptr) << by_alias;
    std::string content(entry.name.size() + 1, '\0');
    EXPECT_EQ(file->Read(content.data(), content.size()).bytes, entry.name.size());
    EXPECT_EQ(content.substr(0, entry.name.size()), entry.name);
  }
  EXPECT_EQ(files->Status(dir / "LONGFO~1/REPORT~3.DOC").kind, LocalKind::missing);

  // A pattern matches the name or the alias; one plain alias finds its long name.
  std::vector<std::string> found;
  LocalEntry entry;
  if (auto search = files->FindFirst(dir / "LONGFO~1\\*~1.*", entry)) {
    do {
      found.push_back(entry.name + "=" + entry.short_name);
    } while (files->FindNext(*search, entry));
  }
  EXPECT_EQ(found, (std::vector<std::string>{".bashrc=BASHRC~1", "archive.tar.gz=ARCHIV~1.GZ",
                                             "flashutil.com=FLASHU~1.COM", "My Long Diagnostic Report.txt=MYLONG~1.TXT",
                                             "photo.jpeg=PHOTO~1.JPE", "Release Notes for Diagnostics.txt=RELEAS~1.TXT",
                                             "Report 2019 draft.doc=REPORT~1.DOC", "REPORT~1.TXT=",
                                             "ünïcode.txt=_N_COD~1.TXT"}));
  ASSERT_NE(files->FindFirst(dir / "Long Folder/releas~1.txt", entry), nullptr);
  EXPECT_EQ(entry.name, "Release Notes for Diagnostics.txt");

  // Writing through an alias writes the long-named file, and removing it removes that file.
  std::unique_ptr<LocalFile> out = files->Open(dir / "LONGFO~1/FLASHU~1.COM", LocalOpenMode::write, error);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->Close(), 0u);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "Long Folder" / "flashutil.com"), 0u);
  EXPECT_EQ(files->Remove(dir / "LONGFO~1/FLASHU~1.COM"), 0u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "Long Folder" / "flashutil.com"));
}

TEST(HostDiskLock, OneShellPerDiskAndShellsOnTwoDisksSideBySide) {
  TempDir dir;
  std::ofstream(dir / "a.img") << "a";
  std::ofstream(dir / "b.img") << "b";
  auto first = std::make_unique<PosixInstanceLock>(std::vector<std::string>{dir / "a.img"});
  EXPECT_FALSE(first->HeldElsewhere("TORBEL_MUTEX"));
  EXPECT_TRUE(first->Acquire("TORBEL_MUTEX"));
  PosixInstanceLock other_disk({dir / "b.img", dir / "absent.img"});
  EXPECT_FALSE(other_disk.HeldElsewhere("TORBEL_MUTEX"));
  PosixInstanceLock same_disk({dir / "a.img"});
  EXPECT_TRUE(same_disk.HeldElsewhere("TORBEL_MUTEX"));
  first.reset();
  EXPECT_FALSE(same_disk.HeldElsewhere("TORBEL_MUTEX"));
}

}  // namespace
}  // namespace partshell::testing
