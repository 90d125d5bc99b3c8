#include "zolp/image_copy.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "zolp/sim/file_disk.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::Quote;
using testing::ReadFile;
using testing::WriteFile;

constexpr WindowRef kDialog = 0x77;

std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return bytes;
}

class ImageCopyTest : public testing::ZolpTest {
 protected:
  CopyJob Job(DiskHandle& disk, std::uint64_t capacity) {
    return CopyJob{kDialog, &disk, image_.c_str(), capacity};
  }
  std::vector<std::intptr_t> Progress() const {
    std::vector<std::intptr_t> percents;
    for (const auto& p : host_.Posts())
      if (p.message == 0x501) percents.push_back(p.wParam);
    return percents;
  }
  sim::PostedMessage Final() const {
    sim::PostedMessage last{};
    int finals = 0;
    for (const auto& p : host_.Posts())
      if (p.message == 0x500) {
        last = p;
        ++finals;
      }
    EXPECT_EQ(finals, 1);
    return last;
  }
  std::string image_ = "~DP1.tmp";
};

// The disk takes whole sectors only: an image that ends inside a sector goes
// out with that sector's rest zero; and the disk is flushed before success.
TEST_F(ImageCopyTest, DiskReceivesTheImageInWholeSectorsAndIsFlushed) {
  for (const std::size_t tail : {1536, 1000}) {  // after 5 full pieces
    SCOPED_TRACE(tail);
    host_.ClearRecords();
    const std::string bytes = PatternBytes(5 * 0x8000 + tail);
    WriteFile(Cwd(image_), bytes);
    sim::FileDisk disk(root_ / "disk.bin", 8u << 20, host_);

    EXPECT_EQ(ImageCopyThread(s_, Job(disk, 8u << 20)), 1);
    const sim::PostedMessage done = Final();
    EXPECT_EQ(done.owner, kDialog);
    EXPECT_EQ(done.wParam, 0);
    EXPECT_EQ(done.lParam, 0);
    EXPECT_EQ(host_.Posts().back().message, 0x500u);
    EXPECT_EQ(host_.OutstandingAllocations(), 0);
    EXPECT_EQ(disk.flushes, 1);

    // An independent comparison of the disk's first bytes with the image; the
    // rest of its last sector is zeros.
    const std::string command = "cmp -n " + std::to_string(bytes.size()) + " " +
                                Quote(Cwd(image_)) + " " + Quote(disk.path()) + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    const std::size_t sectors = (bytes.size() + 511) / 512 * 512;
    const std::string onDisk = ReadFile(disk.path());
    ASSERT_EQ(onDisk.size(), sectors);
    EXPECT_EQ(onDisk.substr(bytes.size()), std::string(sectors - bytes.size(), '\0'));
  }
}

TEST_F(ImageCopyTest, CopiedFatVolumeChecksCleanOnTheDisk) {
  // A FAT16 volume made by mkfs.fat and filled by mcopy, written to a larger disk:
  // fsck.fat and mtools must find the same volume there.
  const auto image = Cwd(image_);
  testing::WriteFile(root_ / "README.TXT", PatternBytes(100000));
  const std::string make = "mkfs.fat -C -F 16 -s 1 -n DIAGS " + Quote(image) +
                           " 8192 >/dev/null && "
                           "mcopy -i " +
                           Quote(image) + " " + Quote(root_ / "README.TXT") + " ::README.TXT";
  ASSERT_EQ(std::system(make.c_str()), 0);
  sim::FileDisk disk(root_ / "disk.bin", 16u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 16u << 20)), 1);

  const std::string volume = (root_ / "volume.bin").string();
  std::filesystem::copy_file(disk.path(), volume);
  std::filesystem::resize_file(volume, 8192u * 1024);
  EXPECT_EQ(std::system(("fsck.fat -n " + Quote(volume) + " >/dev/null 2>&1").c_str()), 0);
  const std::string back = (root_ / "back.txt").string();
  ASSERT_EQ(std::system(("mcopy -i " + Quote(volume) + " ::README.TXT " + Quote(back)).c_str()), 0);
  EXPECT_EQ(ReadFile(back), ReadFile(root_ / "README.TXT"));
}

TEST_F(ImageCopyTest, ProgressIsPostedBeforeEachPiece) {
  WriteFile(Cwd(image_), PatternBytes(4 * 0x8000));
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  ImageCopyThread(s_, Job(disk, 0));
  EXPECT_EQ(Progress(), (std::vector<std::intptr_t>{0, 25, 50, 75}));

  host_.ClearRecords();
  WriteFile(Cwd(image_), PatternBytes(3 * 0x8000 - 512));
  sim::FileDisk disk2(root_ / "disk2.bin", 1u << 20, host_);
  ImageCopyThread(s_, Job(disk2, 0));
  // (size - remaining) * 100 / size, integer division
  EXPECT_EQ(Progress(), (std::vector<std::intptr_t>{0, 33, 67}));
}

TEST_F(ImageCopyTest, ProgressOfLargeImagesDoesNotOverflow) {
  // 48 MB: the done count times 100 passes 2^32 near the end.
  const std::size_t size = 48u << 20;
  WriteFile(Cwd(image_), std::string(size, '\x5A'));
  sim::FileDisk disk(root_ / "disk.bin", size, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, size)), 1);
  const auto percents = Progress();
  // Pieces of a hundredth of the image: every whole percent is reported.
  ASSERT_EQ(percents.size(), (size + CopyPieceSize(size) - 1) / CopyPieceSize(size));
  EXPECT_EQ(percents.front(), 0);
  for (std::size_t i = 1; i < percents.size(); ++i) {
    EXPECT_GE(percents[i], percents[i - 1]);
    EXPECT_LE(percents[i], percents[i - 1] + 1);
  }
  EXPECT_EQ(percents.back(), 99);
  EXPECT_EQ(disk.writeCalls, static_cast<int>(percents.size()));
}

// Whole sectors, from 32 KiB up to 1 MiB, never more than a hundredth of the
// image while that is above 32 KiB.
TEST(CopyPieceSize, GrowsWithTheImageInWholeSectorsUpTo1MiB) {
  struct Row {
    std::uint64_t image;
    std::uint32_t piece;
  } rows[] = {
      {0, 0x8000},          {1474560, 0x8000},       {3276800, 0x8000},
      {3328000, 33280},     {48u << 20, 503296},     {104857600, 1048576},
      {256u << 20, 1 << 20}, {2113929216, 1 << 20},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CopyPieceSize(row.image), row.piece) << row.image;
    EXPECT_EQ(CopyPieceSize(row.image) % 512, 0u);
  }
}

// With verify the written range is read back and compared: a write the disk
// lost without a word, or a sector it cannot read, fails the copy with the
// sector named; without verify nothing changes.
TEST_F(ImageCopyTest, VerifyReadsTheWrittenRangeBackAndNamesTheFirstBadSector) {
  const std::string bytes = PatternBytes(5 * 0x8000 + 1536);  // six writes, the last a tail
  WriteFile(Cwd(image_), bytes);
  struct Row {
    const char* name;
    bool verify;
    int dropWrite, failRead;
    bool roomForText;
    std::intptr_t code;
    const char* text;  // null: success
  } rows[] = {
      {"clean", true, 0, 0, true, 0, nullptr},
      {"a lost write unseen without verify", false, 3, 0, true, 0, nullptr},
      {"a lost write", true, 3, 0, true, -1,
       "Copy failed. Verification of the device: sector 128 differs from the image."},
      {"the lost tail", true, 6, 0, true, -1,
       "Copy failed. Verification of the device: sector 320 differs from the image."},
      {"an unreadable piece", true, 0, 2, true, 23,
       "Copy failed. Verification of the device at sector 64"},
      {"no room for the sector", true, 3, 0, false, -1, "Copy failed. Verification of the device"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.ClearRecords();
    sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
    disk.dropWriteCall = row.dropWrite;
    disk.failReadCall = row.failRead;
    ASSERT_TRUE(disk.Seek(4096));  // a verified copy starts at the first sector all the same
    char text[160] = {};
    CopyJob job = Job(disk, 1u << 20);
    job.verify = row.verify;
    job.failureText = row.roomForText ? text : nullptr;
    job.failureTextSize = row.roomForText ? sizeof text : 0;

    EXPECT_EQ(ImageCopyThread(s_, job), row.text ? 0 : 1);
    const sim::PostedMessage done = Final();
    EXPECT_EQ(done.wParam, row.code);
    EXPECT_EQ(done.text, row.text ? row.text : "");
    EXPECT_EQ(host_.OutstandingAllocations(), 0);
    std::vector<std::string> statuses;
    for (const auto& p : host_.Posts())
      if (p.message == 0x501) statuses.push_back(p.text);
    // Reading back stops at the piece that fails.
    const int reads = !row.verify ? 0 : row.failRead ? row.failRead : row.dropWrite ? row.dropWrite : 6;
    ASSERT_EQ(statuses.size(), 6u + reads);
    EXPECT_EQ(statuses.front(), "");
    if (row.verify) {
      EXPECT_EQ(statuses.back(), "Verifying");
    }
    if (row.verify && !row.text) {
      EXPECT_EQ(Progress(), (std::vector<std::intptr_t>{0, 19, 39, 59, 79, 99, 0, 19, 39, 59, 79, 99}));
      EXPECT_EQ(ReadFile(disk.path()), bytes);
    }
  }
}

TEST_F(ImageCopyTest, ImageLargerThanTheDeviceIsRefusedAndNothingWritten) {
  WriteFile(Cwd(image_), std::string(10u << 20, 'x'));
  sim::FileDisk disk(root_ / "disk.bin", 8u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 8u << 20)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_EQ(done.wParam, -1);
  EXPECT_EQ(done.text, "Copy failed. The image size is greater than the device capacity.");
  EXPECT_EQ(disk.writeCalls, 0);
  EXPECT_TRUE(Progress().empty());
  EXPECT_EQ(host_.OutstandingAllocations(), 0);
}

TEST_F(ImageCopyTest, ImageOfExactlyTheCapacityFits) {
  WriteFile(Cwd(image_), PatternBytes(1u << 20));
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 1u << 20)), 1);
}

TEST_F(ImageCopyTest, MissingImageFile) {
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_EQ(done.wParam, 2);
  EXPECT_EQ(done.text, "Copy failed. Opening the image file for reading");
}

TEST_F(ImageCopyTest, BufferAllocationFailure) {
  WriteFile(Cwd(image_), "abc");
  host_.failAllocation = true;
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_EQ(done.wParam, 8);
  EXPECT_EQ(done.text, "Copy failed. Copy buffer memory allocation");
}

TEST_F(ImageCopyTest, DeviceWriteFailureNamesTheWrite) {
  WriteFile(Cwd(image_), PatternBytes(3 * 0x8000));
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  disk.failWriteCall = 2;
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_EQ(done.wParam, 1117);
  EXPECT_EQ(done.text, "Copy failed. A write to the device");
  EXPECT_EQ(Progress(), (std::vector<std::intptr_t>{0, 33}));
  EXPECT_EQ(host_.OutstandingAllocations(), 0);
}

TEST_F(ImageCopyTest, ShortWriteIsAFailureEvenWithoutASystemError) {
  WriteFile(Cwd(image_), PatternBytes(2 * 0x8000));
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  disk.shortWriteCall = 1;
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_NE(done.wParam, 0);
  EXPECT_EQ(done.text, "Copy failed. A write to the device");
}

TEST_F(ImageCopyTest, DeviceSmallerThanClaimedFailsAtItsEnd) {
  // Capacity not checked (0): the disk itself refuses the piece past its end.
  WriteFile(Cwd(image_), PatternBytes(3 * 0x8000));
  sim::FileDisk disk(root_ / "disk.bin", 0x8000, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 0);
  EXPECT_EQ(Final().wParam, 27);
}

TEST_F(ImageCopyTest, ImageThatShrinksDuringTheCopyIsAReadFailure) {
  // The file is opened, then cut short behind the worker's back: it reads
  // fewer bytes than the size it measured.
  WriteFile(Cwd(image_), PatternBytes(2 * 0x8000));
  class ShrinkingFiles final : public FileSystem {
   public:
    explicit ShrinkingFiles(FileSystem& inner) : inner_(inner) {}
    std::unique_ptr<File> OpenRead(const std::string& path) override {
      class Shrunk final : public File {
       public:
        explicit Shrunk(std::unique_ptr<File> f) : f_(std::move(f)) {}
        bool Read(void* b, std::uint32_t n, std::uint32_t& got) override {
          const bool ok = f_->Read(b, n, got);
          if (got > 100) got = 100;
          return ok;
        }
        bool Write(const void* b, std::uint32_t n) override { return f_->Write(b, n); }
        bool Size(std::uint64_t& size) override { return f_->Size(size); }

       private:
        std::unique_ptr<File> f_;
      };
      auto f = inner_.OpenRead(path);
      return f ? std::make_unique<Shrunk>(std::move(f)) : nullptr;
    }
    std::unique_ptr<File> Create(const std::string& p) override { return inner_.Create(p); }
    std::unique_ptr<File> OpenAppend(const std::string& p) override { return inner_.OpenAppend(p); }
    bool Delete(const std::string& p) override { return inner_.Delete(p); }
    bool Exists(const std::string& p) override { return inner_.Exists(p); }
    bool MakeDirectory(const std::string& p) override { return inner_.MakeDirectory(p); }
    bool SystemDirectory(std::string& p) override { return inner_.SystemDirectory(p); }
    bool CurrentDirectory(std::string& p) override { return inner_.CurrentDirectory(p); }
    bool TemporaryFileName(const std::string& d, const std::string& prefix,
                           std::string& p) override {
      return inner_.TemporaryFileName(d, prefix, p);
    }

   private:
    FileSystem& inner_;
  } shrinking(files_);
  Services s = s_;
  s.files = &shrinking;
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  EXPECT_EQ(ImageCopyThread(s, Job(disk, 0)), 0);
  const sim::PostedMessage done = Final();
  EXPECT_NE(done.wParam, 0);
  EXPECT_EQ(done.text, "Copy failed. A read of the image file");
  EXPECT_EQ(disk.writeCalls, 0);
}

TEST_F(ImageCopyTest, CopyStartsAtTheDisksCurrentPosition) {
  WriteFile(Cwd(image_), "HELLO");
  sim::FileDisk disk(root_ / "disk.bin", 4096, host_);
  ASSERT_TRUE(disk.Seek(512));
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 1);
  EXPECT_EQ(ReadFile(disk.path()).substr(512, 5), "HELLO");
}

TEST_F(ImageCopyTest, RunsAsAWorkerThread) {
  WriteFile(Cwd(image_), PatternBytes(0x8000 * 2));
  sim::FileDisk disk(root_ / "disk.bin", 1u << 20, host_);
  const CopyJob job = Job(disk, 0);
  int result = -1;
  std::thread worker([&] { result = ImageCopyThread(s_, job); });
  worker.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Final().wParam, 0);
}

TEST_F(ImageCopyTest, FailedRelease) {
  WriteFile(Cwd(image_), "abc");
  host_.failFree = true;
  SetVerbose();
  sim::FileDisk disk(root_ / "disk.bin", 4096, host_);
  EXPECT_EQ(ImageCopyThread(s_, Job(disk, 0)), 1);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text.rfind("Failed to free memory failed with error 487", 0), 0u);
}

}  // namespace
}  // namespace zolp
