// Injected I/O failures and damaged cluster chains: the volume stays free of
// cross-links, no entry names unwritten data, and no walk runs forever.
#include <gtest/gtest.h>

#include "disk_test_support.h"
#include "partshell/error_codes.h"

namespace partshell::testing {
namespace {

constexpr std::uint32_t kStart = 63;
constexpr std::uint32_t kSectors = 8000;

std::function<std::unique_ptr<BlockDevice>(int, std::unique_ptr<BlockDevice>)> FailWritesAfter(long good, bool once,
                                                                                              FaultInjectingDevice** seen) {
  return [good, once, seen](int, std::unique_ptr<BlockDevice> inner) -> std::unique_ptr<BlockDevice> {
    auto device = std::make_unique<FaultInjectingDevice>(std::move(inner));
    device->writes_before_failure = good;
    device->fail_once = once;
    if (seen) *seen = device.get();
    return device;
  };
}

// Lost clusters may be left behind by a failed write; clusters owned twice never.
// fsck.fat must have checked the volume (status 0 or 1, its summary line printed).
bool NoCrossLinks(const std::string& image, std::string* report) {
  const int status = Fsck(image, kStart, kSectors, report);
  return (status == 0 || status == 1) && report->find(" files, ") != std::string::npos &&
         report->find("hare") == std::string::npos && report->find("cross") == std::string::npos;
}

std::string MtoolsCat(const TempDir& dir, const std::string& image, const std::string& path) {
  const std::string out = dir / "cat.out";
  std::filesystem::remove(out);
  if (Mtools(image, kStart, "mcopy -n '::" + path + "' '" + out + "'") != 0) return "<missing>";
  return ReadFile(out);
}

// Counts the writes a clean run of `operation` makes.
template <typename Operation>
unsigned CountWrites(const std::string& image, Operation operation) {
  FaultInjectingDevice* device = nullptr;
  MountedDisk disk(image, MountedDisk::UpRequest(), FailWritesAfter(-1, false, &device));
  EXPECT_EQ(disk.mount_result, 0);
  std::string message;
  EXPECT_EQ(operation(disk.engine, message), 0) << message;
  return device->writes_done;
}

class WriteFailureSweep : public ::testing::TestWithParam<bool> {};

TEST_P(WriteFailureSweep, CopyInNeverLeavesAnEntryPointingAtUnwrittenData) {
  TempDir dir;
  const std::string base = MakeUtilityDisk(dir, 1, kSectors);
  const std::string source = dir / "source.bin";
  const std::string content = Pattern(6000, 3);
  WriteFile(source, content);
  const std::string old_content = "the previous target";
  WriteFile(dir / "old", old_content);
  ASSERT_EQ(Mtools(base, kStart, "mcopy '" + (dir / "old") + "' ::T.BIN"), 0);
  auto copy_in = [&](Fat16Engine& engine, std::string& message) {
    std::uint32_t size = 0;
    return engine.CopyFileFromLocalHDToFAT16(source, "T.BIN", message, size);
  };
  const std::string probe = dir / "probe.img";
  std::filesystem::copy_file(base, probe);
  const unsigned writes = CountWrites(probe, copy_in);
  ASSERT_GT(writes, 10u);
  for (unsigned failing = 0; failing < writes; ++failing) {
    const std::string image = dir / "sweep.img";
    std::filesystem::copy_file(base, image, std::filesystem::copy_options::overwrite_existing);
    {
      MountedDisk disk(image, MountedDisk::UpRequest(), FailWritesAfter(failing, GetParam(), nullptr));
      ASSERT_EQ(disk.mount_result, 0);
      std::string message;
      EXPECT_NE(copy_in(disk.engine, message), 0) << "write " << failing << " failed unnoticed";
    }
    std::string report;
    EXPECT_TRUE(NoCrossLinks(image, &report)) << "write " << failing << ":\n" << report;
    const std::string seen = MtoolsCat(dir, image, "T.BIN");
    // The old target may survive (its deletion failed) or be gone; the new
    // one is either complete or absent.
    EXPECT_TRUE(seen == "<missing>" || seen == content || seen == old_content)
        << "write " << failing << " left a target of " << seen.size()
                                                         << " bytes";
  }
}

TEST_P(WriteFailureSweep, DeleteNeverLeavesClustersOwnedTwice) {
  TempDir dir;
  const std::string base = MakeUtilityDisk(dir, 1, kSectors);
  WriteFile(dir / "a", Pattern(20000, 5));
  ASSERT_EQ(Mtools(base, kStart, "mcopy '" + (dir / "a") + "' ::A.BIN"), 0);
  const std::string probe = dir / "probe.img";
  std::filesystem::copy_file(base, probe);
  auto remove = [](Fat16Engine& engine, std::string& message) { return engine.DeleteFat16File("A.BIN", message); };
  const unsigned writes = CountWrites(probe, remove);
  const std::string next = dir / "next.bin";
  WriteFile(next, Pattern(20000, 6));
  for (unsigned failing = 0; failing < writes; ++failing) {
    const std::string image = dir / "sweep.img";
    std::filesystem::copy_file(base, image, std::filesystem::copy_options::overwrite_existing);
    {
      MountedDisk disk(image, MountedDisk::UpRequest(), FailWritesAfter(failing, GetParam(), nullptr));
      ASSERT_EQ(disk.mount_result, 0);
      std::string message;
      EXPECT_NE(remove(disk.engine, message), 0) << "write " << failing << " failed unnoticed";
    }
    std::string report;
    EXPECT_TRUE(NoCrossLinks(image, &report)) << "write " << failing << ":\n" << report;
    // A new file takes the lowest free clusters: none of them may still be A's.
    MountedDisk after(image);
    if (after.mount_result != 0) continue;  // the FAT copies differ: nothing more is written
    std::string message;
    std::uint32_t size = 0;
    ASSERT_EQ(after.engine.CopyFileFromLocalHDToFAT16(next, "B.BIN", message, size), 0) << message;
    EXPECT_TRUE(NoCrossLinks(image, &report)) << "write " << failing << " then a new file:\n" << report;
    const std::string a = MtoolsCat(dir, image, "A.BIN");
    EXPECT_TRUE(a == "<missing>" || a == Pattern(20000, 5)) << "write " << failing;
  }
}

TEST_P(WriteFailureSweep, RemoveDirectoryNeverLeavesClustersOwnedTwice) {
  TempDir dir;
  const std::string base = MakeUtilityDisk(dir, 1, kSectors);
  ASSERT_EQ(Mtools(base, kStart, "mmd ::D"), 0);
  const std::string probe = dir / "probe.img";
  std::filesystem::copy_file(base, probe);
  auto remove = [](Fat16Engine& engine, std::string& message) { return engine.RemoveDirectory("D", message); };
  const unsigned writes = CountWrites(probe, remove);
  WriteFile(dir / "next", Pattern(3000, 9));
  for (unsigned failing = 0; failing < writes; ++failing) {
    const std::string image = dir / "sweep.img";
    std::filesystem::copy_file(base, image, std::filesystem::copy_options::overwrite_existing);
    {
      MountedDisk disk(image, MountedDisk::UpRequest(), FailWritesAfter(failing, GetParam(), nullptr));
      std::string message;
      EXPECT_NE(remove(disk.engine, message), 0);
    }
    MountedDisk after(image);
    if (after.mount_result != 0) continue;
    std::string message;
    std::uint32_t size = 0;
    ASSERT_EQ(after.engine.CopyFileFromLocalHDToFAT16(dir / "next", "N.BIN", message, size), 0) << message;
    std::string report;
    EXPECT_TRUE(NoCrossLinks(image, &report)) << "write " << failing << ":\n" << report;
  }
}

INSTANTIATE_TEST_SUITE_P(Engine, WriteFailureSweep, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "OneWriteFails" : "DeviceDies"); });

TEST(FatCommit, SecondCopyFailingLeavesTheFirstWritten) {
  TempDir dir;
  const std::string image = MakeUtilityDisk(dir, 1, kSectors);
  WriteFile(dir / "a", Pattern(3000));
  ASSERT_EQ(Mtools(image, kStart, "mcopy '" + (dir / "a") + "' ::A.BIN"), 0);
  std::uint16_t spf = 0;
  {
    MountedDisk probe(image);
    spf = probe.volume.sectors_per_fat;
  }
  const std::uint32_t fat1 = kStart + 1, fat2 = fat1 + spf;
  MountedDisk disk(image, MountedDisk::UpRequest(), [fat2](int, std::unique_ptr<BlockDevice> inner) {
    auto device = std::make_unique<FaultInjectingDevice>(std::move(inner));
    device->failing_writes = {fat2};
    return std::unique_ptr<BlockDevice>(std::move(device));
  });
  ASSERT_EQ(disk.mount_result, 0);
  const std::uint16_t first = disk.engine.FindFile(kRootDirectory, "A.BIN").first_cluster;
  std::string message;
  EXPECT_EQ(disk.engine.DeleteFat16File("A.BIN", message), UNABLE_TO_WRITE_FAT2);
  EXPECT_EQ(message, "ERROR: FAT2 Write Error: 740");
  EXPECT_EQ(ReadBytes(image, fat1 * 512ull + 2 * first, 2), (std::vector<std::uint8_t>{0, 0}));
  EXPECT_NE(ReadBytes(image, fat2 * 512ull + 2 * first, 2), (std::vector<std::uint8_t>{0, 0}));
  // The next mount sees the difference.
  MountedDisk again(image);
  EXPECT_EQ(again.mount_result, FAT_TABLE_COMPARE_FAILED);
}

// Damaged chains: a directory whose only cluster links back to itself, and a
// file whose chain loops.
class LoopingChains : public ::testing::Test {
 protected:
  void SetUp() override {
    image = MakeUtilityDisk(dir, 1, kSectors);
    ASSERT_EQ(Mtools(image, kStart, "mmd ::D"), 0);
    WriteFile(dir / "x", "x");
    // "." and ".." and 14 files fill the directory's one sector: no end mark.
    for (int i = 0; i < 14; ++i) {
      ASSERT_EQ(Mtools(image, kStart, "mcopy '" + (dir / "x") + "' ::D/F" + std::to_string(i)), 0);
    }
    WriteFile(dir / "l", Pattern(3000));
    ASSERT_EQ(Mtools(image, kStart, "mcopy '" + (dir / "l") + "' ::L.BIN"), 0);
    MountedDisk probe(image);
    ASSERT_EQ(probe.mount_result, 0);
    dir_cluster = probe.engine.FindSubdirectory(kRootDirectory, "D").first_cluster;
    const EntryLookup l = probe.engine.FindFile(kRootDirectory, "L.BIN");
    file_cluster = l.first_cluster;
    spf = probe.volume.sectors_per_fat;
    SetBothFats(dir_cluster, dir_cluster);
    std::uint16_t last = file_cluster;
    while (probe.engine.FatEntry(last) < 0xFFF8) last = probe.engine.FatEntry(last);
    SetBothFats(last, file_cluster);
    // The file claims more bytes than the volume holds.
    PatchBytes(image, l.sector * 512ull + l.index * 32 + DIR_FileSize, {0, 0, 0, 0x10});
    disk = std::make_unique<MountedDisk>(image);
    ASSERT_EQ(disk->mount_result, 0);
  }
  void SetBothFats(std::uint16_t cluster, std::uint16_t value) {
    const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    PatchBytes(image, (kStart + 1) * 512ull + 2 * cluster, bytes);
    PatchBytes(image, (kStart + 1 + spf) * 512ull + 2 * cluster, bytes);
  }

  TempDir dir;
  std::string image;
  std::uint16_t dir_cluster = 0, file_cluster = 0, spf = 0;
  std::unique_ptr<MountedDisk> disk;
  std::string message;
};

TEST_F(LoopingChains, DirectoryScansEndWithLinkageError) {
  Fat16Engine& engine = disk->engine;
  EntryLookup found = engine.FindFile(dir_cluster, "NOPE");
  EXPECT_FALSE(found.found);
  EXPECT_EQ(found.error, FAT_LINKAGE_ERROR);
  std::uint16_t d = 0;
  std::string path;
  EXPECT_FALSE(engine.ResolveDirectoryPath("\\D\\NOPE", d, path));
  DirEntry entry{};
  int error = 0;
  auto search = engine.FindFirstEntry("\\D\\*.XYZ", entry, error);
  EXPECT_EQ(search, nullptr);
  EXPECT_EQ(error, FAT_LINKAGE_ERROR);
  EXPECT_EQ(engine.MakeDirectory("D\\NEW", message), FAT_LINKAGE_ERROR);
  EXPECT_EQ(engine.RemoveDirectory("D", message), FAT_LINKAGE_ERROR);
  EXPECT_EQ(engine.ExtendDirectory(dir_cluster, message), FAT_LINKAGE_ERROR);
  WriteFile(dir / "y", "y");
  std::uint32_t size = 0;
  EXPECT_EQ(engine.CopyFileFromLocalHDToFAT16(dir / "y", "D\\NEW.TXT", message, size), FAT_LINKAGE_ERROR);
}

TEST_F(LoopingChains, FileChainsEndWithLinkageError) {
  Fat16Engine& engine = disk->engine;
  std::uint32_t size = 0;
  EXPECT_EQ(engine.CopyFileFromFAT16ToLocalHD("L.BIN", dir / "out", message, size), FAT_LINKAGE_ERROR);
  const auto fat_before = disk->volume.fat1;
  EXPECT_EQ(engine.DeleteFat16File("L.BIN", message), FAT_LINKAGE_ERROR);
  EXPECT_EQ(message.rfind("ERROR: Invalid FAT Linkage Detected: ", 0), 0u) << message;
  EXPECT_EQ(disk->volume.fat1, fat_before) << "a failed free must not clear part of the chain";
  disk->out.printed.clear();
  engine.ShowClusterChain(engine.FindSubdirectory(kRootDirectory, "D").entry.data());
  EXPECT_NE(disk->out.printed.find("{ERROR}"), std::string::npos);
}

TEST(ErrorTable, CodesNamesAndTexts) {
  EXPECT_EQ(InternalErrorTable.size(), 66u);
  for (std::size_t i = 1; i < InternalErrorTable.size(); ++i) {
    EXPECT_LT(InternalErrorTable[i - 1].code, InternalErrorTable[i].code);
    EXPECT_NE(InternalErrorTable[i].code, 760);
  }
  EXPECT_EQ(InternalErrorTable.front().code, 700);
  EXPECT_EQ(InternalErrorTable.back().code, 766);
  EXPECT_EQ(ErrorText(700), "UNABLE_TO_LOCATE_PARTITION - {internal}");
  EXPECT_EQ(ErrorText(762), "WRITE_ATTEMPT_BEYOND_PARTITION_END - {internal}");
  EXPECT_EQ(ErrorText(0), "The operation completed successfully.");
  EXPECT_EQ(ErrorText(5), "Access is denied.");
  for (int code : {2, 3, 21, 87}) EXPECT_FALSE(ErrorText(code).empty()) << code;
  EXPECT_EQ(ErrorText(760), "");
  EXPECT_EQ(ErrorText(123456), "");
  SetSystemMessageSource([](std::uint32_t code) { return std::string(600, static_cast<char>('a' + code % 26)); });
  EXPECT_EQ(ErrorText(760).size(), 511u);
  SetSystemMessageSource(nullptr);
  EXPECT_EQ(ErrorText(5), "Access is denied.");
}

}  // namespace
}  // namespace partshell::testing
