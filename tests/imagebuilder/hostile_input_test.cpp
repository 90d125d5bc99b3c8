// Inputs a careless or hostile package can hold: special files named as inputs
// or output, values FAT has no room for, link graphs that loop or multiply, a
// build refused part way, options that contradict a preset. Each ends in its
// documented code, never in a hang, a volume fsck.fat rejects, or a lost image.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sstream>
#include <thread>

#include "test_support.h"

namespace {

using vtest::Package;
namespace fs = vtest::fs;
namespace ib = imagebuilder;

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
  vtest::WriteText(pkg.dir / "dd.cfg", "[S]\nVolumeLabel=TAB\tINSIDE\n");
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

namespace {

// The real tree, with `count` empty files of 251-character names (21 entries
// each with long names) listed in every folder named FULL: a directory of that
// size without thousands of files on the disk.
class CrowdedTree : public imagebuilder::HostTree {
 public:
  explicit CrowdedTree(int count) : count_(count) {}
  ib::ListResult List(const std::string& d, std::vector<ib::HostEntry>& entries) override {
    const ib::ListResult r = real_->List(d, entries);
    for (int i = 0; d.ends_with("/FULL") && i < count_; ++i) {
      entries.emplace_back();
      entries.back().name = std::to_string(100000 + i).substr(1) + std::string(242, 'n') + ".txt";
      entries.back().lastWriteUtc = 0x60000000;
    }
    return r;
  }
  std::unique_ptr<ib::HostFile> OpenRead(const std::string& p) override { return real_->OpenRead(p); }
  bool Status(const std::string& p, ib::HostFileStatus& s) override { return real_->Status(p, s); }
  char Separator() const override { return '/'; }

 private:
  std::unique_ptr<ib::HostTree> real_ = ib::MakeSystemHost().tree;
  int count_;
};

// One refusal: its command line (split at blanks) and the part of its error
// line that names the cause; {tree}, {cfg}, {dir}, {root}, {bs} and {mbr} stand
// for the package's paths.
struct Refusal {
  int code;
  std::string args;
  std::string cause;
  std::function<void(const Package&)> setup = [](const Package&) {};
  int crowd = 0;  // files CrowdedTree adds to FULL
};

std::string Expand(std::string text, const Package& p) {
  using Name = std::pair<std::string, std::string>;
  for (const auto& [from, to] :
       {Name{"{tree}", "-b {bs} -f {root}"}, Name{"{cfg}", "{dir}/dd.cfg"},
        Name{"{dir}", p.dir.path().string()}, Name{"{root}", p.root}, Name{"{bs}", p.bs},
        Name{"{mbr}", p.mbr}}) {
    for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

std::vector<Refusal> Table() {
  std::vector<Refusal> rows = {
      {3, "{cfg} FD {tree} -i {cfg}", "\"{cfg}\" (ImageName): it is the configuration file"},
      {3, "{tree} -i {bs}", "\"{bs}\" (ImageName): it is the boot sector file \"{bs}\""},
      {3, "{tree} -m {mbr} -i {mbr}", "it is the MBR file \"{mbr}\" (MbrFileName)"},
      {3, "{tree} -m {mbr} -g {dir}/stage -i {dir}/stage", "it is the GRUB loader file"},
      {3, "{tree} -T1440 -I -Y {dir}/read.me -i {dir}/read.me", "it is the readme file"},
      // A second name of a file of the tree: files are compared, not names.
      {3, "{tree} -i {dir}/twin", "it is the package file \"{root}/SUB/B.TXT\" (FileRoot)"},
      {35, "{tree} -L", "the name of \"{root}/BAD:DIR\" holds the character ':'",
       [](const Package& p) { p.File("BAD:DIR/C.TXT", 5); }},
      // 3120 names of 21 entries, 15 short ones, "." and "..".
      {16, "{tree} -L", "the folder \"{root}/FULL\" needs 65537 directory entries",
       [](const Package& p) {
         for (int i = 0; i < 15; ++i) p.File("FULL/S" + std::to_string(i), 0);
       }, 3120},
      {42, "{cfg} HDD {tree}", "the value \"-1\" of NumSectors in \"{cfg}\" [HDD] is not valid"},
      {42, "{cfg} US {tree}", "section [US] is not in {cfg}"},
      {42, "{cfg} FD -H4 {tree}", "DiskType=1440 in \"{cfg}\" [FD] sets Heads to 2, which "
                                  "clashes with -H4 (Heads) on the command line"},
      {42, "{tree} -T1440 -H4", "-H4 (Heads) clashes with -T1440 (DiskType), which sets Heads"},
      {42, "{root} FD {tree}", "the configuration file \"{root}\" is a directory"},
      {39, "{tree} -T1440",
       "the last-write time of \"{root}/SUB/B.TXT\" (1971-01-01 00:00:00 UTC) cannot be held",
       [](const Package& p) {
         const struct timespec old[2] = {{0, 0}, {86400 * 365, 0}};
         ::utimensat(AT_FDCWD, (p.root / "SUB" / "B.TXT").c_str(), old, 0);
       }},
      {22, "{tree} -T1440", "the folder \"{root}/SUB/UP\" leads back to \"{root}\"",
       [](const Package& p) { fs::create_directory_symlink("..", p.root / "SUB" / "UP"); }},
  };
  // Each character Windows forbids in a name: in a long name, and '\' (a
  // character of a name on this host) in one that needs none.
  for (const char c : std::string("\"*:<>?|\\\x01")) {
    const std::string name = std::string("a") + c + "b.txt";
    const bool control = c == '\x01';
    rows.push_back({35, c == '\\' ? "{tree} -T1440" : "{tree} -L",
                    "the name of \"{root}/SUB/" + (control ? "a\\x01b.txt" : name) + "\" holds " +
                        (control ? std::string("a control character")
                                 : "the character '" + std::string(1, c) + "'"),
                    [name](const Package& p) { p.File("SUB/" + name, 10); }});
  }
  return rows;
}

// Every refusal gets its code and an error line naming the cause, and changes
// nothing: the package's files are the same bytes afterwards and no image is left.
TEST(Refusals, EachNamesItsCauseAndChangesNothing) {
  for (const Refusal& row : Table()) {
    SCOPED_TRACE(row.args);
    Package pkg;
    pkg.File("A.TXT", 100);
    pkg.File("SUB/B.TXT", 10);
    vtest::WriteText(pkg.dir / "dd.cfg", "[FD]\nDiskType=1440\n[HDD]\nNumSectors=-1\n");
    vtest::WriteBytes(pkg.dir / "stage", vtest::Pattern(1500, 2));
    vtest::WriteText(pkg.dir / "read.me", "read me\r\n");
    fs::create_hard_link(pkg.root / "SUB" / "B.TXT", pkg.dir / "twin");
    row.setup(pkg);
    std::vector<std::string> args;
    std::istringstream words(Expand(row.args, pkg));
    for (std::string a; words >> a;) args.push_back(a);
    if (std::find(args.begin(), args.end(), "-i") == args.end()) {
      args.insert(args.end(), {"-i", pkg.dir / "x.img"});
    }
    const auto before = vtest::TreeContents(pkg.dir.path());
    CrowdedTree crowded(row.crowd);
    vtest::RunOptions options;
    options.tree = row.crowd > 0 ? &crowded : nullptr;
    const vtest::RunResult r = vtest::Run(args, options);
    EXPECT_EQ(r.code, row.code);
    const std::string line = "vellix: error " + std::to_string(row.code) + ": ";
    EXPECT_EQ(r.errors.rfind(line, 0), 0u) << r.errors;
    EXPECT_NE(r.errors.find(Expand(row.cause, pkg)), std::string::npos) << r.errors;
    EXPECT_TRUE(vtest::TreeContents(pkg.dir.path()) == before);
    EXPECT_FALSE(fs::exists(pkg.dir / "x.img"));
  }
}

// A folder of exactly 65536 entries, long-name slots, "." and ".." included, is
// the largest FAT allows: it builds, fsck.fat passes it and mtools lists it all.
TEST(Refusals, AFolderOf65536EntriesStillBuilds) {
  Package pkg;
  for (int i = 0; i < 14; ++i) pkg.File("FULL/S" + std::to_string(i), 0);
  CrowdedTree tree(3120);
  vtest::RunOptions options;
  options.tree = &tree;
  ASSERT_EQ(vtest::Run(pkg.Args({"-L", "-z"}), options).code, 0);
  VolumeOf(pkg);
  std::string listing;
  ASSERT_EQ(vtest::Shell("mdir -b -i " + vtest::Quote(pkg.image) + " ::FULL", &listing), 0);
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 3134) << listing.substr(0, 400);
}

}  // namespace
