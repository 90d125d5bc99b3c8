// Inputs a careless or hostile package can hold: special files named as inputs
// or output, values FAT has no room for, link graphs that loop or multiply, a
// build refused part way, options that contradict a preset. Each ends in its
// documented code, never in a hang, a volume fsck.fat rejects, or a lost image.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <thread>

#include "test_support.h"

namespace {

using vtest::Package;
namespace fs = vtest::fs;

std::string VolumeOf(const Package& pkg) {
  std::string report;
  EXPECT_TRUE(vtest::FsckClean(pkg.image, &report)) << report;
  return report;
}

// Runs a build that names a FIFO; should the build block on it, a writer
// appears after ten seconds to release it, and the test fails on the time taken.
int RunNamingFifo(const std::vector<std::string>& args, const std::string& fifo) {
  std::atomic<bool> done{false};
  std::thread releaser([&] {
    for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (done) return;
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  const auto start = std::chrono::steady_clock::now();
  const int code = vtest::Run(args).code;
  done = true;
  releaser.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "blocked on " << fifo;
  return code;
}

// A package beside a named pipe and a folder.
struct SpecialFiles : ::testing::Test {
  void SetUp() override {
    pkg.File("A.TXT", 100);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
  }
  Package pkg;
  const std::string fifo = pkg.dir / "pipe";
  const std::string folder = pkg.dir / "folder";
};

TEST_F(SpecialFiles, PipesAndDirectoriesNamedAsInputsGetTheirFilesCodes) {
  vtest::WriteText(pkg.dir / "readme.txt", "read me\r\n");
  struct Case {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"-b", fifo, "-f", pkg.root.string(), "-i", pkg.image, "-T1440"}, 9},
      {{"-b", folder, "-f", pkg.root.string(), "-i", pkg.image, "-T1440"}, 9},
      {pkg.Args({"-m", fifo}), 4},
      {pkg.Args({"-m", folder}), 4},
      {pkg.Args({"-m", pkg.mbr, "-g", fifo}), 82},
      {pkg.Args({"-T1440", "-I", "-Y", fifo}), 69},
      {{fifo, "S", "-b", pkg.bs, "-f", pkg.root.string(), "-i", pkg.image}, 42},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunNamingFifo(c.args, fifo), c.code) << c.args[0] << " " << c.args.back();
    EXPECT_FALSE(fs::exists(pkg.image));
  }
}

TEST_F(SpecialFiles, AnImageNameThatIsNoRegularFileIsRefusedUntouched) {
  for (const std::string& target : {fifo, folder}) {
    EXPECT_EQ(vtest::Run({"-b", pkg.bs, "-f", pkg.root.string(), "-i", target, "-T1440"}).code, 3);
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(VolumeLabel, CharactersFatForbidsAreRefusedAndTheRestMakeCleanVolumes) {
  Package pkg;
  pkg.File("A.TXT", 100);
  for (const char* bad : {"A/B", "A\\B", "A*B", "A?B", "A.B", "A+B", "A,B", "A;B", "A:B", "A<B",
                          "A=B", "A>B", "A[B", "A]B", "A|B", "A\"B", " AB", "A\x01" "B", "A\x7f",
                          "\xc3\xa9T\xc3\xa9", "\x80"}) {
    EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-v", bad})).code, 42) << bad;
  }
  vtest::WriteText(pkg.dir / "dd.cfg", "VolumeLabel=TAB\tINSIDE\n");
  EXPECT_EQ(vtest::Run({pkg.dir / "dd.cfg", "S", "-b", pkg.bs, "-f", pkg.root.string(), "-i",
                        pkg.image, "-T1440"})
                .code,
            42);
  for (const char* good : {"DIAG A05", "~!@#$%^&()", "it's low", "A-B_C{D}", "           ", "X"}) {
    ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-v", good})).code, 0) << good;
    VolumeOf(pkg);
  }
}

TEST(MediaType, OnlyMediaDescriptorsAreAccepted) {
  Package pkg;
  pkg.File("A.TXT", 100);
  for (int m = 0; m < 256; ++m) {
    const bool descriptor = m == 0xF0 || m >= 0xF8;
    const int code = vtest::Run(pkg.Args({"-t", "2880", "-y", "12", "-M", std::to_string(m)})).code;
    EXPECT_EQ(code, descriptor ? 0 : 42) << m;
    if (descriptor && (m == 0xF0 || m == 0xF8 || m == 0xFF)) {
      ASSERT_EQ(vtest::Run(pkg.Args({"-t", "2880", "-y", "12", "-z", "-M", std::to_string(m)})).code, 0);
      VolumeOf(pkg);
      EXPECT_EQ(vtest::ReadBpb(pkg.Image()).media, m);
    }
  }
}

// The root directory fills whole sectors: a count that ends inside a sector is
// rounded up, one that cannot be rounded within 16 bits is refused.
TEST(RootDirEntries, RoundedUpToWholeSectorsOrRefused) {
  Package pkg;
  pkg.File("A.TXT", 100);
  struct Case {
    int entries;
    int sectorSize;
    int code;
    int written;
  } cases[] = {{513, 512, 0, 528},     {17, 512, 0, 32},     {16, 512, 0, 16},
               {65520, 512, 0, 65520}, {65521, 512, 42, 0},  {65535, 512, 42, 0},
               {16, 4096, 0, 128},     {65408, 4096, 0, 65408}, {65409, 4096, 42, 0}};
  for (const Case& c : cases) {
    vtest::WriteBytes(pkg.bs, vtest::BootRecord(static_cast<std::size_t>(c.sectorSize)));
    const int code = vtest::Run(pkg.Args({"-t", "20000", "-z", "-s", std::to_string(c.sectorSize),
                                          "-r", std::to_string(c.entries)}))
                         .code;
    ASSERT_EQ(code, c.code) << c.entries << " at " << c.sectorSize;
    if (code != 0) {
      EXPECT_FALSE(fs::exists(pkg.image));
      continue;
    }
    EXPECT_EQ(vtest::ReadBpb(pkg.Image()).rootEntries, c.written);
    VolumeOf(pkg);
    fs::remove(pkg.image);
  }
}

TEST(Links, ALinkBackToADirectoryOnTheWayDownIsALoop) {
  const std::pair<const char*, const char*> links[] = {
      {"SELF", "."}, {"ROOT", "../tree"}, {"SUB/BACK", "../../tree"}, {"SUB/UP", ".."}};
  for (const auto& [link, target] : links) {
    Package pkg;
    pkg.File("A.TXT", 10);
    pkg.File("SUB/B.TXT", 10);
    fs::create_directory_symlink(target, pkg.root / link);
    EXPECT_EQ(vtest::Run(pkg.Args({"-T1440"})).code, 22) << link;
  }
}

// Twelve levels of directories, each holding four links to the next: 4^11
// paths to the last one. The walk stops once what it has read could fit no
// volume, long before it has walked them all.
TEST(Links, AGraphThatMultipliesTheTreeStopsWhenItCanFitNoVolume) {
  Package pkg;
  for (int level = 0; level < 12; ++level) {
    const fs::path dir = pkg.dir.path() / ("L" + std::to_string(level));
    fs::create_directories(dir);
    vtest::WriteBytes(dir / "DATA.BIN", vtest::Pattern(100, level));
    if (level == 0) continue;
    const fs::path parent = pkg.dir.path() / ("L" + std::to_string(level - 1));
    for (int k = 0; k < 4; ++k) {
      fs::create_directory_symlink(dir, parent / ("TO" + std::to_string(k)));
    }
  }
  fs::create_directory_symlink(pkg.dir.path() / "L0", pkg.root / "GRAPH");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(vtest::Run(pkg.Args({})).code, 21);
  // Walking every path takes hours; stopping early, seconds.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(vtest::Run(pkg.Args({"-y", "12"})).code, 21);
  EXPECT_FALSE(fs::exists(pkg.image));
  // The same graph three levels deep fits, and is written out in full.
  fs::remove(pkg.root / "GRAPH");
  fs::create_directory_symlink(pkg.dir.path() / "L9", pkg.root / "GRAPH");
  ASSERT_EQ(vtest::Run(pkg.Args({"-L"})).code, 0);
  std::string listing;
  ASSERT_EQ(vtest::Shell("mdir -/ -b -i " + vtest::Quote(pkg.image) + " ::", &listing), 0);
  EXPECT_NE(listing.find("/GRAPH/TO3/TO3/DATA.BIN"), std::string::npos) << listing;
}

// A refused build leaves an earlier image where it was, byte for byte: the
// refusal comes before the image file is created.
TEST(RefusedBuild, AnEarlierImageSurvivesEveryRefusalThatNeedsNoWrite) {
  Package pkg;
  pkg.File("A.TXT", 3000);
  pkg.File("SUB/OLD.TXT", 10);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z"})).code, 0);
  const auto good = pkg.Image();
  const std::string grub = pkg.dir / "stage.bin";
  vtest::WriteBytes(grub, vtest::Pattern(63 * 512, 1));
  const std::string badMbr = pkg.dir / "badmbr.bin";
  vtest::WriteBytes(badMbr, vtest::BootRecord(512, false));
  const std::string badBoot = pkg.dir / "badbs.bin";
  vtest::WriteBytes(badBoot, vtest::BootRecord(512, false));
  const fs::path bigTree = pkg.dir.path() / "big";
  vtest::WriteBytes(bigTree / "BIG.BIN", vtest::Pattern(1500 * 1024, 3));
  struct Case {
    std::vector<std::string> args;
    std::string buildTime;
    int code;
  } cases[] = {
      {pkg.Args({"-T1440", "-z"}), "zz", 40},
      {pkg.Args({"-T1440", "-z"}), "1", 40},
      {pkg.Args({"-T1440", "-z", "-I"}), "zz", 40},
      {pkg.Args({"-T1440", "-z", "-o", "MISSING.SYS"}), "66000000", 33},
      {pkg.Args({"-m", badMbr}), "66000000", 7},
      {{"-b", badBoot, "-f", pkg.root.string(), "-i", pkg.image, "-T1440", "-z"}, "66000000", 12},
      {pkg.Args({"-m", pkg.mbr, "-g", grub}), "66000000", 83},
      {pkg.Args({"-T1440", "-m", pkg.mbr}), "66000000", 75},
      {{"-b", pkg.bs, "-f", bigTree.string(), "-i", pkg.image, "-T1440"}, "66000000", 78},
      {pkg.Args({"-T720", "-I"}), "66000000", 74},
  };
  for (const Case& c : cases) {
    vtest::TestClock clock;
    clock.env["BUILDSETTIME"] = c.buildTime;
    vtest::RunOptions o;
    o.clock = &clock;
    EXPECT_EQ(vtest::Run(c.args, o).code, c.code) << c.args.back() << " " << c.buildTime;
    EXPECT_TRUE(pkg.Image() == good) << c.code;
  }
  // A file whose time no DOS date can hold.
  fs::remove(pkg.root / "BIG.BIN");
  const struct timespec old[2] = {{0, 0}, {86400 * 365, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (pkg.root / "SUB" / "OLD.TXT").c_str(), old, 0), 0);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-z"})).code, 39);
  EXPECT_TRUE(pkg.Image() == good);
}

// A key given on the command line is never replaced by a preset: a different
// value is refused, as a duplicate option is; the same value is no conflict.
TEST(Presets, AnOptionAPresetWouldChangeIsRefused) {
  Package pkg;
  pkg.File("A.TXT", 100);
  const std::string cfg = pkg.dir / "dd.cfg";
  vtest::WriteText(cfg, "[FD]\nDiskType=1440\n[LBA]\nExtendedPartition=1\nNumSectors=100000\n");
  auto build = [&](const std::string& section, std::vector<std::string> more) {
    std::vector<std::string> args{cfg, section};
    for (const std::string& a : pkg.Args(std::move(more))) args.push_back(a);
    return vtest::Run(args).code;
  };
  EXPECT_EQ(build("FD", {"-H4"}), 42);
  EXPECT_EQ(build("FD", {"-S9"}), 42);
  EXPECT_EQ(build("FD", {"-M248"}), 42);
  EXPECT_EQ(build("FD", {"-y16"}), 42);
  EXPECT_EQ(build("FD", {"-r512"}), 42);
  EXPECT_EQ(build("FD", {"-c2"}), 42);
  EXPECT_EQ(build("FD", {"-S18", "-H2", "-y12", "-z"}), 0);
  EXPECT_EQ(vtest::ReadBpb(pkg.Image()).heads, 2);
  EXPECT_EQ(build("LBA", {"-H16"}), 42);
  EXPECT_EQ(build("FD", {"-X"}), 42);  // the two presets disagree
  EXPECT_EQ(build("LBA", {"-T1440"}), 42);
  EXPECT_EQ(vtest::Run(pkg.Args({"-H4", "-T1440"})).code, 42);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-H4"})).code, 42);
}

}  // namespace
