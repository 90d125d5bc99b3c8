// File data gathered into large writes: the image must hold exactly what
// unbuffered writes would have put there, the pieces must end on piece
// boundaries of the image file, and a failure must be reported with the code
// of the step that failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "imagebuilder/error_codes.h"
#include "imagebuilder/file_data.h"
#include "test_support.h"

namespace {

using imagebuilder::FileDataRun;
using imagebuilder::HostFile;
using imagebuilder::ImageFile;

constexpr std::uint64_t kPiece = FileDataRun::kPiece;

// An image in memory that records every write (offset, length).
class MemoryImage : public ImageFile {
 public:
  std::vector<std::uint8_t> bytes;
  std::vector<std::pair<std::uint64_t, std::size_t>> writes;
  int failWrite = 0;  // the n-th write fails (from 1)

  bool Create(const std::string&) override { return true; }
  bool SetSize(std::uint64_t size) override {
    bytes.resize(size);
    return true;
  }
  bool Size(std::uint64_t& size) override {
    size = bytes.size();
    return true;
  }
  bool Seek(std::uint64_t offset) override {
    at_ = offset;
    return true;
  }
  bool Read(std::uint8_t* b, std::size_t n) override {
    if (at_ + n > bytes.size()) return false;
    std::memcpy(b, bytes.data() + at_, n);
    at_ += n;
    return true;
  }
  bool Write(const std::uint8_t* b, std::size_t n) override {
    writes.emplace_back(at_, n);
    if (static_cast<int>(writes.size()) == failWrite) return false;
    if (at_ + n > bytes.size()) bytes.resize(at_ + n);
    std::memcpy(bytes.data() + at_, b, n);
    at_ += n;
    return true;
  }
  bool Close() override { return true; }
  void Discard() override {}

 private:
  std::uint64_t at_ = 0;
};

// A source file that hands out its bytes in reads of at most `chunk` bytes,
// and can fail after `failAfter` bytes.
class MemoryFile : public HostFile {
 public:
  MemoryFile(std::vector<std::uint8_t> data, std::size_t chunk)
      : data_(std::move(data)), chunk_(chunk) {}
  std::size_t failAfter = ~std::size_t{0};
  bool Length(std::uint64_t& length) override {
    length = data_.size();
    return true;
  }
  bool Read(std::uint8_t* b, std::size_t n, std::size_t& got) override {
    if (pos_ >= failAfter) return false;
    got = std::min({n, chunk_, data_.size() - pos_});
    std::memcpy(b, data_.data() + pos_, got);
    pos_ += got;
    return true;
  }
  bool Close() override { return true; }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t chunk_;
  std::size_t pos_ = 0;
};

TEST(FileDataRun, HoldsWhatDirectWritesWouldAndEndsPiecesOnBoundaries) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    MemoryImage image;
    std::vector<std::uint8_t> expected;
    FileDataRun run(image);
    // An odd start, as behind an MBR of 63 sectors; clusters of 2 KiB.
    std::uint64_t offset = 63 * 512 + 17 * 512 * (round % 3);
    const std::uint64_t cluster = 2048;
    for (int file = 0; file < 40; ++file) {
      if (rng() % 5 == 0) offset += cluster * (1 + rng() % 3);  // a directory's clusters
      // Many small files, a few that span several pieces.
      const std::size_t size = rng() % 8 == 0 ? rng() % (3 * kPiece) : rng() % 20000 + 1;
      const std::vector<std::uint8_t> data = vtest::Pattern(size, round * 100 + file + 1);
      MemoryFile source(data, 1 + rng() % 70000);
      ASSERT_TRUE(run.MoveTo(offset));
      ASSERT_EQ(run.Append(source, size), 0);
      const std::uint64_t end = offset + (size + cluster - 1) / cluster * cluster;
      ASSERT_TRUE(run.PadTo(end));
      if (expected.size() < end) expected.resize(end);
      std::copy(data.begin(), data.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset));
      offset = end;
    }
    ASSERT_TRUE(run.Flush());
    image.bytes.resize(std::max(image.bytes.size(), expected.size()));
    expected.resize(image.bytes.size());
    ASSERT_EQ(image.bytes, expected) << "round " << round;
    for (const auto& [at, n] : image.writes) {
      // No write crosses a piece boundary of the file.
      EXPECT_LE(at % kPiece + n, kPiece) << "write at " << at << " of " << n;
    }
  }
}

TEST(FileDataRun, ContiguousFilesShareWritesAndAGapEndsTheRun) {
  MemoryImage image;
  FileDataRun run(image);
  for (int i = 0; i < 3; ++i) {
    MemoryFile f(vtest::Pattern(1000, i + 1), 4096);
    ASSERT_TRUE(run.MoveTo(512 + 1024 * i));
    ASSERT_EQ(run.Append(f, 1000), 0);
    ASSERT_TRUE(run.PadTo(512 + 1024 * (i + 1)));
  }
  EXPECT_TRUE(image.writes.empty());  // still held
  // A file further on: what is held goes out in one write first.
  MemoryFile far(vtest::Pattern(10, 9), 4096);
  ASSERT_TRUE(run.MoveTo(8192));
  ASSERT_EQ(image.writes.size(), 1u);
  EXPECT_EQ(image.writes[0], (std::pair<std::uint64_t, std::size_t>{512, 3072}));
  ASSERT_EQ(run.Append(far, 10), 0);
  ASSERT_TRUE(run.Flush());
  ASSERT_EQ(image.writes.size(), 2u);
  EXPECT_EQ(image.writes[1], (std::pair<std::uint64_t, std::size_t>{8192, 10}));
  // The rest of each file's last cluster is zeros.
  EXPECT_TRUE(std::all_of(image.bytes.begin() + 1512, image.bytes.begin() + 1536,
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(run.Flush());  // nothing held: no write
  EXPECT_EQ(image.writes.size(), 2u);
}

TEST(FileDataRun, FailuresCarryTheirStepsCode) {
  {
    MemoryImage image;
    FileDataRun run(image);
    MemoryFile f(vtest::Pattern(5000, 1), 512);
    f.failAfter = 2048;
    ASSERT_TRUE(run.MoveTo(4096));
    EXPECT_EQ(run.Append(f, 5000), imagebuilder::kErrFileRead);
  }
  {
    // The write that reaches a piece boundary fails in the middle of a file.
    MemoryImage image;
    image.failWrite = 1;
    FileDataRun run(image);
    MemoryFile f(vtest::Pattern(2 * kPiece, 1), 1 << 16);
    ASSERT_TRUE(run.MoveTo(100));
    EXPECT_EQ(run.Append(f, 2 * kPiece), imagebuilder::kErrFileWrite);
    EXPECT_EQ(image.writes.size(), 1u);
    // Nothing more is written from the failed run, and it stays failed.
    EXPECT_EQ(run.Append(f, 10), imagebuilder::kErrFileWrite);
    EXPECT_TRUE(run.Flush());
    EXPECT_EQ(image.writes.size(), 1u);
  }
  {
    // The write at the end of the run fails: the flush reports it.
    MemoryImage image;
    image.failWrite = 1;
    FileDataRun run(image);
    MemoryFile f(vtest::Pattern(300, 1), 512);
    ASSERT_TRUE(run.MoveTo(100));
    ASSERT_EQ(run.Append(f, 300), 0);
    EXPECT_FALSE(run.Flush());
  }
  {
    // A file whose source ends early is a read failure, not a short file.
    MemoryImage image;
    FileDataRun run(image);
    MemoryFile f(vtest::Pattern(300, 1), 512);
    ASSERT_TRUE(run.MoveTo(100));
    EXPECT_EQ(run.Append(f, 400), imagebuilder::kErrFileRead);
  }
}

// Through the whole builder: a tree several pieces large behind an MBR, so the
// data area starts at no piece boundary, with subdirectories between files.
TEST(FileDataRun, LargeTreesBehindAnMbrReadBackByteForByte) {
  vtest::Package pkg;
  std::mt19937 rng(11);
  for (int i = 0; i < 60; ++i) {
    const std::string dir = i % 7 == 0 ? "" : "D" + std::to_string(i % 5) + "/";
    const std::size_t size = i % 9 == 0 ? 1500000 + rng() % 400000 : rng() % 90000;
    pkg.File(dir + "F" + std::to_string(i) + ".BIN", size, static_cast<std::uint32_t>(i + 1));
  }
  for (const char* cluster : {"4", "64"}) {
    ASSERT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-z", "-c", cluster})).code, 0) << cluster;
    pkg.ExpectHoldsTree();
  }
}

}  // namespace
