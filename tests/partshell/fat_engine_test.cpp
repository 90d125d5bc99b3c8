// The FAT16 engine against volumes written and checked by mtools and fsck.fat.
#include <algorithm>
#include <gtest/gtest.h>

#include "disk_test_support.h"
#include "partshell/error_codes.h"

namespace partshell::testing {
namespace {

class FatEngine : public ::testing::Test {
 protected:
  void Prepare(int sectors_per_cluster = 4, std::uint32_t sectors = 40000, int root_entries = 512) {
    image = MakeUtilityDisk(dir, sectors_per_cluster, sectors, root_entries);
    partition_sectors = sectors;
  }
  void Mount() {
    disk = std::make_unique<MountedDisk>(image);
    ASSERT_EQ(disk->mount_result, 0) << disk->out.printed;
  }
  Fat16Engine& engine() { return disk->engine; }
  MountedVolume& volume() { return disk->volume; }

  // The mtools view of one file of the volume ("" and a failure when absent).
  std::string MtoolsRead(const std::string& path) {
    const std::string out = dir / "mtools.out";
    std::filesystem::remove(out);
    if (Mtools(image, 63, "mcopy -n '::" + path + "' '" + out + "'") != 0) return "<missing>";
    return ReadFile(out);
  }
  void MtoolsPut(const std::string& content, const std::string& path) {
    const std::string in = dir / "mtools.in";
    WriteFile(in, content);
    ASSERT_EQ(Mtools(image, 63, "mcopy -o '" + in + "' '::" + path + "'"), 0);
  }
  void ExpectClean() {
    std::string report;
    EXPECT_TRUE(FsckClean(image, 63, partition_sectors, &report)) << report;
    const std::uint32_t fat_bytes = volume().sectors_per_fat * 512u;
    EXPECT_EQ(ReadBytes(image, 64ull * 512, fat_bytes), ReadBytes(image, (64ull + volume().sectors_per_fat) * 512, fat_bytes))
        << "FAT copies differ on disk";
  }
  std::string Local(const std::string& name) { return dir / name; }

  TempDir dir;
  std::string image;
  std::uint32_t partition_sectors = 0;
  std::unique_ptr<MountedDisk> disk;
  std::string message;
};

TEST_F(FatEngine, CopiesOutWhatMtoolsWrote) {
  Prepare();
  ASSERT_EQ(Mtools(image, 63, "mmd ::SUB"), 0);
  const std::vector<std::pair<std::string, std::size_t>> files = {
      {"EMPTY.TXT", 0}, {"ONE.BIN", 1}, {"SECTOR.BIN", 512}, {"CLUSTER.BIN", 2048},
      {"CLUST1.BIN", 2049}, {"SUB/BIG.DAT", 100000}};
  for (const auto& [name, size] : files) MtoolsPut(Pattern(size, static_cast<unsigned>(size)), name);
  Mount();
  for (const auto& [name, size] : files) {
    std::string sys_path = name;
    std::replace(sys_path.begin(), sys_path.end(), '/', '\\');
    std::uint32_t reported = 0;
    const std::string out = Local("out.bin");
    ASSERT_EQ(engine().CopyFileFromFAT16ToLocalHD("SYS:\\" + sys_path, out, message, reported), 0) << message;
    EXPECT_EQ(reported, size);
    EXPECT_EQ(ReadFile(out), Pattern(size, static_cast<unsigned>(size))) << name;
  }
  std::uint32_t size = 0;
  EXPECT_EQ(engine().CopyFileFromFAT16ToLocalHD("NOPE.TXT", Local("x"), message, size), DISK_ERROR_LOCATING_FILE);
  EXPECT_EQ(message, "Unable To Locate Source FAT16 File: NOPE.TXT");
  EXPECT_EQ(engine().CopyFileFromFAT16ToLocalHD("NODIR\\A.TXT", Local("x"), message, size), DISK_ERROR_LOCATING_DIR);
  EXPECT_EQ(message, "Unable To Locate Source Directory: NODIR");
}

// Copying out reads runs of sectors that follow one another on the disk: the
// runs must break where a chain jumps, stop at 128 sectors, and a sector that
// cannot be read must still be the one reported, after the data before it.
TEST_F(FatEngine, CopyOutFollowsFragmentedChainsAndReportsTheSectorThatFails) {
  Prepare(1);
  MtoolsPut(Pattern(3000, 1), "A.BIN");
  MtoolsPut(Pattern(70000, 2), "B.BIN");
  MtoolsPut(Pattern(5000, 3), "C.BIN");
  ASSERT_EQ(Mtools(image, 63, "mdel ::B.BIN"), 0);
  // D takes B's clusters, then jumps past C.
  MtoolsPut(Pattern(200000, 4), "D.BIN");
  const std::vector<std::pair<std::string, std::size_t>> runs = {
      {"R1.BIN", 65535}, {"R2.BIN", 65536}, {"R3.BIN", 65537}, {"R4.BIN", 131172}};
  for (const auto& [name, size] : runs) MtoolsPut(Pattern(size, static_cast<unsigned>(size)), name);
  Mount();
  std::uint32_t size = 0;
  ASSERT_EQ(engine().CopyFileFromFAT16ToLocalHD("D.BIN", Local("d"), message, size), 0) << message;
  EXPECT_EQ(ReadFile(Local("d")), Pattern(200000, 4));
  for (const auto& [name, bytes] : runs) {
    ASSERT_EQ(engine().CopyFileFromFAT16ToLocalHD(name, Local("r"), message, size), 0) << message;
    EXPECT_EQ(ReadFile(Local("r")), Pattern(bytes, static_cast<unsigned>(bytes))) << name;
  }
  const EntryLookup d = engine().FindFile(kRootDirectory, "D.BIN");
  ASSERT_TRUE(d.found);
  const std::uint32_t bad = engine().GetSectorOfCluster(d.first_cluster) + 100;
  disk.reset();

  MountedDisk failing(image, MountedDisk::UpRequest(),
                      [bad](int, std::unique_ptr<BlockDevice> inner) -> std::unique_ptr<BlockDevice> {
                        auto device = std::make_unique<FaultInjectingDevice>(std::move(inner));
                        device->failing_reads = {bad};
                        return device;
                      });
  ASSERT_EQ(failing.mount_result, 0);
  EXPECT_EQ(failing.engine.CopyFileFromFAT16ToLocalHD("D.BIN", Local("d2"), message, size), DISK_ERROR_READING_SECTOR);
  EXPECT_EQ(message, Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(bad)));
  EXPECT_FALSE(std::filesystem::exists(Local("d2"))) << "no partial copy is left to pass for the file";
}

TEST_F(FatEngine, CopiedInFilesReadBackByteForByte) {
  Prepare();
  Mount();
  for (std::size_t size : {0u, 1u, 511u, 512u, 2048u, 2049u, 70000u}) {
    const std::string local = Local("in.bin");
    WriteFile(local, Pattern(size, static_cast<unsigned>(size) + 7));
    const std::string name = "F" + std::to_string(size) + ".BIN";
    std::uint32_t reported = 0;
    ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(local, name, message, reported), 0) << message;
    EXPECT_EQ(reported, size);
    EXPECT_EQ(MtoolsRead(name), Pattern(size, static_cast<unsigned>(size) + 7)) << name;
  }
  ExpectClean();
  // A file of 0 bytes has no cluster; a file of one cluster has one.
  EntryLookup empty = engine().FindFile(kRootDirectory, "F0.BIN");
  ASSERT_TRUE(empty.found);
  EXPECT_EQ(empty.first_cluster, 0);
  EntryLookup one = engine().FindFile(kRootDirectory, "F2048.BIN");
  ASSERT_TRUE(one.found);
  EXPECT_EQ(ClassifyFatEntry(engine().FatEntry(one.first_cluster)), FatEntryClass::end_of_chain);
  EXPECT_EQ(one.entry[DIR_Attr], ATTR_ARCHIVE);
  EXPECT_EQ(EntryDate(one.entry.data()), 17 + 5 * 32 + (2024 - 1980) * 512);
  EXPECT_EQ(EntryTime(one.entry.data()), 15 + 45 * 32 + 13 * 2048);
}

TEST_F(FatEngine, CopyOntoAnExistingNameReplacesIt) {
  Prepare();
  MtoolsPut(Pattern(9000, 1), "SUB.TXT");
  ASSERT_EQ(Mtools(image, 63, "mmd ::DIR"), 0);
  Mount();
  WriteFile(Local("new"), "new content");
  std::uint32_t size = 0;
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("new"), "sys:\\sub.txt", message, size), 0) << message;
  EXPECT_EQ(MtoolsRead("SUB.TXT"), "new content");
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("new"), "DIR\\IN.TXT", message, size), 0) << message;
  EXPECT_EQ(MtoolsRead("DIR/IN.TXT"), "new content");
  // A directory's name is not taken by a file.
  EXPECT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("new"), "DIR", message, size), DIR_ALREADY_EXISTS);
  EXPECT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("new"), "NODIR\\X", message, size), DISK_ERROR_LOCATING_DIR);
  EXPECT_EQ(message, "Unable To Locate Target Directory: NODIR");
  EXPECT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("absent"), "X", message, size), DISK_ERROR_LOCATING_FILE);
  EXPECT_EQ(message, "Unable To Locate Source File: " + Local("absent"));
  ExpectClean();
}

TEST_F(FatEngine, CopyThatDoesNotFitLeavesTheOldTarget) {
  Prepare(1, 8000);
  MtoolsPut("old", "T.BIN");
  Mount();
  const std::uint64_t free_space = engine().FreeSpace();
  WriteFile(Local("big"), Pattern(free_space + 1));
  std::uint32_t size = 0;
  EXPECT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("big"), "T.BIN", message, size), DISK_ERROR_DISK_FULL);
  EXPECT_EQ(message, Format("Not Enough Disk Space To Write Target File: T.BIN\n  FileSize: %ld, Free Space: %ld",
                            static_cast<long>(free_space + 1), static_cast<long>(free_space)));
  EXPECT_EQ(MtoolsRead("T.BIN"), "old");
  // Exactly the free space fits, to the last cluster.
  WriteFile(Local("fits"), Pattern(free_space));
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("fits"), "ALL.BIN", message, size), 0) << message;
  EXPECT_EQ(engine().FreeSpace(), 0u);
  EXPECT_EQ(MtoolsRead("ALL.BIN"), Pattern(free_space));
  ExpectClean();
}

TEST_F(FatEngine, FreeSpaceAgreesWithMtools) {
  Prepare();
  MtoolsPut(Pattern(50000), "A.BIN");
  Mount();
  std::string listing;
  ASSERT_EQ(Mtools(image, 63, "mdir ::", &listing), 0);
  std::string digits;
  const auto at = listing.find(" bytes free");
  ASSERT_NE(at, std::string::npos);
  for (auto i = listing.rfind('\n', at) + 1; i < at; ++i) {
    if (listing[i] >= '0' && listing[i] <= '9') digits += listing[i];
  }
  EXPECT_EQ(engine().FreeSpace(), std::stoull(digits));

  // Entries that differ from zero in one bit only, anywhere in the table and
  // in a table whose length is no multiple of four, count as used.
  std::vector<std::uint16_t>& fat = volume().fat1;
  const std::uint16_t values[] = {0x0000, 0x0001, 0x8000, 0x7FFF, 0xFFFF, 0x0100, 0x4000, 0x0000, 0xFFF7};
  for (std::size_t i = 2; i < fat.size(); ++i) fat[i] = values[(i * 7) % std::size(values)];
  volume().ClusterLimit = static_cast<std::uint32_t>(fat.size()) - 1;
  const auto zeros = std::count(fat.begin(), fat.begin() + volume().ClusterLimit, std::uint16_t{0});
  EXPECT_EQ(engine().FreeSpace(), static_cast<std::uint64_t>(zeros) * volume().BytesPerCluster);
}

TEST_F(FatEngine, DeleteFreesTheChainAndHidesTheEntry) {
  Prepare();
  MtoolsPut(Pattern(30000), "GONE.BIN");
  MtoolsPut("stay", "STAY.TXT");
  Mount();
  const std::uint64_t before = engine().FreeSpace();
  ASSERT_EQ(engine().DeleteFat16File("GONE.BIN", message), 0) << message;
  EXPECT_EQ(engine().FreeSpace(), before + 15 * 2048);
  EXPECT_EQ(MtoolsRead("GONE.BIN"), "<missing>");
  EXPECT_EQ(MtoolsRead("STAY.TXT"), "stay");
  EXPECT_EQ(engine().DeleteFat16File("GONE.BIN", message), FILE_NOT_FOUND);
  EXPECT_EQ(message, "File Not Found: GONE.BIN");
  EXPECT_EQ(engine().DeleteFat16File("NO\\GONE.BIN", message), DIR_PATH_NOT_FOUND);
  EXPECT_EQ(message, "Directory/Path Not Found: NO");
  ExpectClean();
}

TEST_F(FatEngine, MakeDirectoryWritesDotEntriesThatMtoolsAndFsckAccept) {
  Prepare();
  Mount();
  ASSERT_EQ(engine().MakeDirectory("TOP", message), 0) << message;
  ASSERT_EQ(engine().MakeDirectory("SYS:\\top\\inner", message), 0) << message;
  WriteFile(Local("f"), "deep");
  std::uint32_t size = 0;
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("f"), "TOP\\INNER\\F.TXT", message, size), 0) << message;
  EXPECT_EQ(MtoolsRead("TOP/INNER/F.TXT"), "deep");
  ExpectClean();

  const EntryLookup top = engine().FindSubdirectory(kRootDirectory, "TOP");
  ASSERT_TRUE(top.found);
  const EntryLookup inner = engine().FindSubdirectory(top.first_cluster, "INNER");
  ASSERT_TRUE(inner.found);
  // ".." of a directory in the root names cluster 0; one level down, the parent.
  std::vector<std::uint8_t> top_first = ReadBytes(image, 512ull * engine().GetSectorOfCluster(top.first_cluster), 64);
  EXPECT_EQ(std::string(top_first.begin(), top_first.begin() + 11), ".          ");
  EXPECT_EQ(EntryFirstCluster(top_first.data()), top.first_cluster);
  EXPECT_EQ(std::string(top_first.begin() + 32, top_first.begin() + 43), "..         ");
  EXPECT_EQ(EntryFirstCluster(top_first.data() + 32), 0);
  std::vector<std::uint8_t> inner_first = ReadBytes(image, 512ull * engine().GetSectorOfCluster(inner.first_cluster), 64);
  EXPECT_EQ(EntryFirstCluster(inner_first.data() + 32), top.first_cluster);

  EXPECT_EQ(engine().MakeDirectory("TOP", message), DIR_ALREADY_EXISTS);
  EXPECT_EQ(message, "The Specified Directory Already Exists: TOP");
  EXPECT_EQ(engine().MakeDirectory("TOP\\INNER\\F.TXT", message), FILE_ALREADY_EXISTS);
  EXPECT_EQ(message, "A File By That Name Already Exists: TOP\\INNER\\F.TXT");
  EXPECT_EQ(engine().MakeDirectory("..", message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(message, "Unable To Create Special Directory: . or ..");
  EXPECT_EQ(engine().MakeDirectory("recycled", message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(engine().MakeDirectory("A*", message), INVALID_FILENAME_PARAMETER);
  EXPECT_EQ(message, "Invalid Filename: A*");
  EXPECT_EQ(engine().MakeDirectory("A+B", message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(engine().MakeDirectory("NONE\\X", message), DISK_ERROR_LOCATING_PARENT_DIR);
  EXPECT_EQ(message, "Unable To Locate Parent Directory: NONE");
}

TEST_F(FatEngine, MakeDirectoryOnAFullPartitionFailsCleanly) {
  Prepare(1, 8000);
  Mount();
  WriteFile(Local("fill"), Pattern(engine().FreeSpace()));
  std::uint32_t size = 0;
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("fill"), "FILL.BIN", message, size), 0) << message;
  EXPECT_EQ(engine().MakeDirectory("NEW", message), UNABLE_TO_ALLOCATE_CLUSTER);
  EXPECT_EQ(message, "Unable To Allocate A New Directory Cluster");
  ExpectClean();
}

TEST_F(FatEngine, RemoveDirectoryOnlyWhenEmpty) {
  Prepare();
  ASSERT_EQ(Mtools(image, 63, "mmd ::EMPTY"), 0);
  ASSERT_EQ(Mtools(image, 63, "mmd ::FULL"), 0);
  MtoolsPut("x", "FULL/X.TXT");
  MtoolsPut("y", "EMPTY/Y.TXT");
  ASSERT_EQ(Mtools(image, 63, "mdel ::EMPTY/Y.TXT"), 0);  // a deleted entry does not count
  Mount();
  const std::uint64_t before = engine().FreeSpace();
  ASSERT_EQ(engine().RemoveDirectory("EMPTY", message), 0) << message;
  EXPECT_EQ(engine().FreeSpace(), before + 2048);
  EXPECT_EQ(engine().RemoveDirectory("FULL", message), DIRECTORY_NOT_EMPTY);
  EXPECT_EQ(message, "Directory Not Empty: FULL");
  EXPECT_EQ(engine().RemoveDirectory("EMPTY", message), DISK_ERROR_LOCATING_DIR);
  EXPECT_EQ(message, "Unable To Locate Sub-directory: EMPTY");
  EXPECT_EQ(engine().RemoveDirectory("NO\\X", message), DISK_ERROR_LOCATING_PARENT_DIR);
  std::string listing;
  ASSERT_EQ(Mtools(image, 63, "mdir -b ::", &listing), 0);
  EXPECT_EQ(listing.find("EMPTY"), std::string::npos) << listing;
  EXPECT_NE(listing.find("FULL"), std::string::npos);
  ExpectClean();
}

TEST_F(FatEngine, RenameChangesOnlyTheName) {
  Prepare();
  MtoolsPut("keep me", "OLD.TXT");
  Mount();
  ASSERT_TRUE(engine().RenameEntry(kRootDirectory, "OLD.TXT", "NEW.DOC", message)) << message;
  EXPECT_EQ(MtoolsRead("NEW.DOC"), "keep me");
  EXPECT_EQ(MtoolsRead("OLD.TXT"), "<missing>");
  EXPECT_FALSE(engine().RenameEntry(kRootDirectory, "OLD.TXT", "X.TXT", message));
  EXPECT_EQ(message, "Unable To Locate Source File: OLD.TXT");
  ExpectClean();
}

TEST_F(FatEngine, FullSubdirectoryGrowsByACluster) {
  Prepare(1, 8000);
  Mount();
  ASSERT_EQ(engine().MakeDirectory("D", message), 0) << message;
  WriteFile(Local("f"), "x");
  std::uint32_t size = 0;
  // One sector holds "." and ".." and 14 files; the next ones need a new cluster.
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("f"), "D\\F" + std::to_string(i), message, size), 0)
        << i << ": " << message;
  }
  std::string listing;
  ASSERT_EQ(Mtools(image, 63, "mdir -b ::D", &listing), 0);
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 40) << listing;
  ExpectClean();
}

TEST_F(FatEngine, SubdirectoryAboveEveryFreeClusterCannotGrow) {
  Prepare(1, 8000);
  Mount();
  WriteFile(Local("low"), Pattern(4096));
  std::uint32_t size = 0;
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("low"), "LOW.BIN", message, size), 0);
  ASSERT_EQ(engine().MakeDirectory("D", message), 0) << message;
  WriteFile(Local("fill"), Pattern(engine().FreeSpace()));
  ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("fill"), "FILL.BIN", message, size), 0) << message;
  ASSERT_EQ(engine().DeleteFat16File("LOW.BIN", message), 0);
  WriteFile(Local("f"), "");
  for (int i = 0; i < 14; ++i) {
    ASSERT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("f"), "D\\F" + std::to_string(i), message, size), 0);
  }
  EXPECT_EQ(engine().CopyFileFromLocalHDToFAT16(Local("f"), "D\\LAST", message, size), UNABLE_TO_ALLOCATE_CLUSTER);
  EXPECT_EQ(message, "Unable To Allocate A New Directory Cluster");
  ExpectClean();
}

TEST_F(FatEngine, FullRootDirectory) {
  Prepare(4, 40000, 16);
  Mount();
  WriteFile(Local("f"), "x");
  std::uint32_t size = 0;
  int added = 0;
  // mkfs.fat put the volume label in the first slot.
  while (engine().CopyFileFromLocalHDToFAT16(Local("f"), "F" + std::to_string(added), message, size) == 0) ++added;
  EXPECT_EQ(added, 15);
  EXPECT_EQ(message, "Root Directory Is Full");
  EXPECT_EQ(engine().MakeDirectory("D", message), ROOT_DIR_NO_FREE_DIR_ENTRIES);
  ExpectClean();  // neither the failed copy nor the failed directory left clusters behind
}

TEST_F(FatEngine, PathsResolveAgainstTheCurrentDirectory) {
  Prepare();
  ASSERT_EQ(Mtools(image, 63, "mmd ::A"), 0);
  ASSERT_EQ(Mtools(image, 63, "mmd ::A/B"), 0);
  Mount();
  std::uint16_t dir_a = 0, dir_b = 0, d = 0;
  std::string path;
  ASSERT_TRUE(engine().ResolveDirectoryPath("sys:\\A", dir_a, path));
  EXPECT_EQ(path, "\\a");
  ASSERT_TRUE(engine().ResolveDirectoryPath("\\a\\b\\", dir_b, path));
  EXPECT_EQ(path, "\\a\\b");
  EXPECT_TRUE(engine().ResolveDirectoryPath("..", d, path));
  EXPECT_EQ(d, kRootDirectory);
  EXPECT_EQ(path, "\\");
  volume().current_directory = dir_b;
  volume().current_path = "\\a\\b";
  ASSERT_TRUE(engine().ResolveDirectoryPath("..", d, path));
  EXPECT_EQ(d, dir_a);
  EXPECT_EQ(path, "\\a");
  ASSERT_TRUE(engine().ResolveDirectoryPath("SYS:", d, path));
  EXPECT_EQ(d, dir_b);
  ASSERT_TRUE(engine().ResolveDirectoryPath("SYS:\\", d, path));
  EXPECT_EQ(d, kRootDirectory);
  ASSERT_TRUE(engine().ResolveDirectoryPath(".", d, path));
  EXPECT_EQ(d, dir_b);
  EXPECT_FALSE(engine().ResolveDirectoryPath("C:\\A", d, path));
  EXPECT_FALSE(engine().ResolveDirectoryPath("SYS:SYS:A", d, path));
  EXPECT_FALSE(engine().ResolveDirectoryPath("\\A\\..", d, path));  // ".." inside a path is a name
  EXPECT_FALSE(engine().ResolveDirectoryPath("\\NONE", d, path));
}

TEST_F(FatEngine, WildcardEnumeration) {
  Prepare();
  for (const char* name : {"A.TXT", "B.TXT", "README", "C.TMP", "ABXYZ1.DOC"}) MtoolsPut("x", name);
  MtoolsPut("x", "GONE.TXT");
  ASSERT_EQ(Mtools(image, 63, "mdel ::GONE.TXT"), 0);
  Mount();
  auto names = [&](const std::string& pattern) {
    std::vector<std::string> found;
    DirEntry entry{};
    int error = 0;
    auto search = engine().FindFirstEntry(pattern, entry, error);
    if (!search) return found;
    do {
      if ((entry[DIR_Attr] & ATTR_VOLUME_ID) == 0) found.push_back(EntryDisplayName(entry.data()));
    } while (engine().FindNextEntry(*search, entry, error) == 0);
    EXPECT_EQ(error, END_OF_DIRECTORY);
    return found;
  };
  EXPECT_EQ(names("*.TXT"), (std::vector<std::string>{"A.TXT", "B.TXT"}));
  EXPECT_EQ(names("*"), (std::vector<std::string>{"README"}));
  EXPECT_EQ(names("??XYZ*.*"), (std::vector<std::string>{"ABXYZ1.DOC"}));
  EXPECT_EQ(names("*XYZ*.*").size(), 5u);  // text after a star is ignored
  EXPECT_EQ(names("sys:\\*.tmp"), (std::vector<std::string>{"C.TMP"}));
  DirEntry entry{};
  int error = 0;
  EXPECT_EQ(engine().FindFirstEntry("NODIR\\*.*", entry, error), nullptr);
  EXPECT_EQ(error, DIR_PATH_NOT_FOUND);
  EXPECT_EQ(engine().FindFirstEntry("*.XYZ", entry, error), nullptr);
  EXPECT_EQ(error, END_OF_DIRECTORY);
}

TEST_F(FatEngine, ClusterChainDisplay) {
  Prepare();
  MtoolsPut(Pattern(5000), "C.BIN");
  MtoolsPut("", "E.BIN");
  Mount();
  const EntryLookup c = engine().FindFile(kRootDirectory, "C.BIN");
  disk->out.printed.clear();
  engine().ShowClusterChain(c.entry.data());
  const unsigned first = c.first_cluster;
  EXPECT_EQ(disk->out.printed,
            Format("%04X  %04X  %04X  {END[FFFF]}\n", first, first + 1, first + 2)) << disk->out.printed;
  disk->out.printed.clear();
  engine().ShowClusterChain(engine().FindFile(kRootDirectory, "E.BIN").entry.data());
  EXPECT_EQ(disk->out.printed, "No Space Allocated\n");
}

TEST(FatNames, SplitAndPatterns) {
  EXPECT_EQ(SplitName83("sys:\\dir\\readme.txt"), (Name83{"README  ", "TXT"}));
  EXPECT_EQ(SplitName83("a.b.cdef"), (Name83{"A.B     ", "CDE"}));
  EXPECT_EQ(SplitName83("dir.x\\file"), (Name83{"FILE    ", "   "}));
  EXPECT_EQ(SplitName83("verylongname.txt"), (Name83{"VERYLONG", "TXT"}));
  EXPECT_EQ(SplitNameAtFirstDot("a.b.c"), (Name83{"A       ", "B.C"}));
  EXPECT_EQ(ExpandPattern("*.*"), (Name83{"????????", "???"}));
  EXPECT_EQ(ExpandPattern("AB*"), (Name83{"AB??????", "   "}));
  EXPECT_EQ(ExpandPattern("???.tmp"), (Name83{"???     ", "TMP"}));
}

TEST(FatNames, NameChecks) {
  std::string message;
  EXPECT_EQ(CheckSysFileName("SYS:\\DIR/FILE.TXT", false, message), 0);
  EXPECT_EQ(CheckSysFileName("C:\\FILE", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(message, "Invalid Drive Reference: C:\\FILE");
  EXPECT_EQ(CheckSysFileName("SYS:A:B", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(message, "Unexpected Extra ':': SYS:A:B");
  EXPECT_EQ(CheckSysFileName("A B", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(message, "Unexpected Character ' ' Encountered: A B");
  EXPECT_EQ(CheckSysFileName("*.TXT", true, message), 0);
  EXPECT_EQ(CheckSysFileName("*.TXT", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(CheckSysFileName("\xE9t\xE9", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(message, "Unexpected 8-bit Character Encountered: \xE9t\xE9");
  EXPECT_EQ(CheckLocalFileName("C:\\TEMP\\X.TXT", false, message), 0);
  EXPECT_EQ(CheckLocalFileName("SYS:X", false, message), BAD_FILENAME_DRIVE_REFERENCE);
  EXPECT_EQ(CheckLocalFileName("/tmp/My Report.txt", false, message), 0);
  for (char c : std::string("`!@#$%^&()+=|{}[]\";'<>,")) {
    EXPECT_EQ(CheckSysFileName(std::string("A") + c, true, message), BAD_FILENAME_DRIVE_REFERENCE) << c;
  }
}

TEST(FatEntries, Classes) {
  EXPECT_EQ(ClassifyFatEntry(0x0000), FatEntryClass::free_cluster);
  EXPECT_EQ(ClassifyFatEntry(0x0001), FatEntryClass::reserved);
  EXPECT_EQ(ClassifyFatEntry(0x0002), FatEntryClass::link);
  EXPECT_EQ(ClassifyFatEntry(0xFFEF), FatEntryClass::link);
  EXPECT_EQ(ClassifyFatEntry(0xFFF0), FatEntryClass::reserved_high);
  EXPECT_EQ(ClassifyFatEntry(0xFFF6), FatEntryClass::reserved_high);
  EXPECT_EQ(ClassifyFatEntry(0xFFF7), FatEntryClass::bad);
  EXPECT_EQ(ClassifyFatEntry(0xFFF8), FatEntryClass::end_of_chain);
}

// A cluster outside the volume is no place for any sector: the fatal condition 763
// with its message, and no transfer after it.
TEST_F(FatEngine, ClustersOutsideTheVolumeAreFatal) {
  Prepare();
  Mount();
  const std::uint32_t limit = volume().ClusterLimit;
  EXPECT_EQ(engine().GetSectorOfCluster(limit), volume().FirstDataSector + (limit - 2) * 4);
  EXPECT_EQ(engine().GetSectorOfCluster(2), volume().FirstDataSector);
  EXPECT_EQ(volume().FatalCondition(), 0);
  for (std::uint32_t bad : {0u, 1u, limit + 1}) {
    Mount();
    EXPECT_EQ(engine().GetSectorOfCluster(bad), 0u);
    EXPECT_EQ(volume().FatalCondition(), 763);
    EXPECT_EQ(disk->out.printed, "ERROR - Cluster " + std::to_string(bad) + ", Invalid Cluster Requested.");
    alignas(512) std::uint8_t sector[512];
    EXPECT_EQ(volume().ReadHardDriveSector(0, sector), 763);
  }
}

}  // namespace
}  // namespace partshell::testing
