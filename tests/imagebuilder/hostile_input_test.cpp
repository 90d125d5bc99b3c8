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

// What one refusal needs: the arguments, the part of the error line that
// names its cause, and a tree to build from when not the real one.
struct Case {
  std::vector<std::string> args;
  std::string cause;
  std::shared_ptr<imagebuilder::HostTree> tree;
};

struct Refusal {
  std::string what;
  int code;
  std::function<Case(const Package&)> make;  // builds the case in a fresh package
};

// The real tree, with `count` empty files of 251-character names (21 entries
// each with long names) in the listing of every folder named FULL: a directory
// of that size without thousands of files on the disk.
class CrowdedTree : public imagebuilder::HostTree {
 public:
  explicit CrowdedTree(int count) : system_(imagebuilder::MakeSystemHost()), count_(count) {}
  imagebuilder::ListResult List(const std::string& d,
                                std::vector<imagebuilder::HostEntry>& entries) override {
    const imagebuilder::ListResult r = real().List(d, entries);
    if (d.size() < 5 || d.compare(d.size() - 5, 5, "/FULL") != 0) return r;
    for (int i = 0; i < count_; ++i) {
      imagebuilder::HostEntry e;
      e.name = std::to_string(100000 + i).substr(1) + std::string(242, 'n') + ".txt";
      e.attributes = imagebuilder::kAttrArchive;
      e.lastWriteUtc = 0x60000000;
      entries.push_back(std::move(e));
    }
    return r;
  }
  std::unique_ptr<imagebuilder::HostFile> OpenRead(const std::string& p) override {
    return real().OpenRead(p);
  }
  bool Status(const std::string& p, imagebuilder::HostFileStatus& s) override {
    return real().Status(p, s);
  }
  char Separator() const override { return '/'; }
  bool Identify(const std::string& d, imagebuilder::DirectoryId& id) override {
    return real().Identify(d, id);
  }
  bool IsSameFile(const std::string& a, const std::string& b) override {
    return real().IsSameFile(a, b);
  }

 private:
  imagebuilder::HostTree& real() { return *system_.tree; }
  imagebuilder::SystemHost system_;
  int count_;
};

std::vector<Refusal> Table() {
  const auto cfgOf = [](const Package& p) {
    const std::string cfg = p.dir / "dd.cfg";
    vtest::WriteText(cfg, "[FD]\nDiskType=1440\n[HDD]\nNumSectors=-1\n");
    return cfg;
  };
  const auto inSection = [cfgOf](const Package& p, const std::string& section,
                                 std::vector<std::string> more) {
    std::vector<std::string> args{cfgOf(p), section};
    for (const std::string& a : p.Args(std::move(more))) args.push_back(a);
    return args;
  };
  const auto imageIs = [](const std::string& file, const std::string& what) {
    return "cannot create the image file \"" + file + "\" (ImageName): it is the " + what;
  };
  std::vector<Refusal> rows = {
      {"-i the configuration", 3,
       [=](const Package& p) {
         const std::string cfg = cfgOf(p);
         return Case{{cfg, "FD", "-b", p.bs, "-f", p.root.string(), "-i", cfg},
                     imageIs(cfg, "configuration file \"" + cfg + "\" (CfgFile)")};
       }},
      {"-i the boot sector file", 3,
       [=](const Package& p) {
         return Case{{"-b", p.bs, "-f", p.root.string(), "-i", p.bs},
                     imageIs(p.bs, "boot sector file \"" + p.bs + "\" (BsFileName)")};
       }},
      {"-i a link to the boot sector file", 3,
       [=](const Package& p) {
         const std::string link = p.dir / "link.bin";
         fs::create_symlink(p.bs, link);
         return Case{{"-b", p.bs, "-f", p.root.string(), "-i", link},
                     imageIs(link, "boot sector file \"" + p.bs + "\" (BsFileName)")};
       }},
      {"-i the MBR file", 3,
       [=](const Package& p) {
         return Case{{"-b", p.bs, "-f", p.root.string(), "-m", p.mbr, "-i", p.mbr},
                     imageIs(p.mbr, "MBR file \"" + p.mbr + "\" (MbrFileName)")};
       }},
      {"-i the loader", 3,
       [=](const Package& p) {
         const std::string grub = p.dir / "stage.bin";
         vtest::WriteBytes(grub, vtest::Pattern(1500, 2));
         return Case{{"-b", p.bs, "-f", p.root.string(), "-m", p.mbr, "-g", grub, "-i", grub},
                     imageIs(grub, "GRUB loader file \"" + grub + "\" (Grub)")};
       }},
      {"-i the readme", 3,
       [=](const Package& p) {
         const std::string readme = p.dir / "readme.txt";
         vtest::WriteText(readme, "read me\r\n");
         return Case{{"-b", p.bs, "-f", p.root.string(), "-T1440", "-I", "-Y", readme, "-i", readme},
                     imageIs(readme, "readme file \"" + readme + "\" (ISOReadmeName)")};
       }},
      {"-i a hard link to a file of the tree", 3,
       [=](const Package& p) {
         const std::string twin = p.dir / "twin.txt";
         fs::create_hard_link(p.root / "SUB" / "B.TXT", twin);
         return Case{{"-b", p.bs, "-f", p.root.string(), "-i", twin},
                     imageIs(twin, "package file \"" + (p.root / "SUB" / "B.TXT").string() +
                                       "\" (FileRoot)")};
       }},
      {"a directory with a name Windows forbids", 35,
       [=](const Package& p) {
         p.File("BAD:DIR/C.TXT", 5);
         return Case{p.Args({"-L"}), "the name of \"" + (p.root / "BAD:DIR").string() +
                                         "\" holds the character ':'"};
       }},
      {"the 65,537th entry of a directory", 16,
       [=](const Package& p) {
         // 3120 x 21 entries, 15 short ones, "." and "..".
         for (int i = 0; i < 15; ++i) p.File("FULL/S" + std::to_string(i), 0);
         return Case{p.Args({"-L"}),
                     "the folder \"" + (p.root / "FULL").string() +
                         "\" needs 65537 directory entries",
                     std::make_shared<CrowdedTree>(3120)};
       }},
      {"NumSectors=-1 in the file", 42,
       [=](const Package& p) {
         return Case{inSection(p, "HDD", {}),
                     "the value \"-1\" of NumSectors in \"" + (p.dir / "dd.cfg") + "\" [HDD]"};
       }},
      {"a section the file lacks", 42,
       [=](const Package& p) {
         return Case{inSection(p, "US", {}), "section [US] is not in " + (p.dir / "dd.cfg")};
       }},
      {"an option the section's preset contradicts", 42,
       [=](const Package& p) {
         return Case{inSection(p, "FD", {"-H4"}),
                     "DiskType=1440 in \"" + (p.dir / "dd.cfg") +
                         "\" [FD] sets Heads to 2, which clashes with -H4 (Heads) on the command "
                         "line"};
       }},
      {"an option after a preset that sets it", 42,
       [=](const Package& p) {
         return Case{p.Args({"-T1440", "-H4"}),
                     "-H4 (Heads) clashes with -T1440 (DiskType), which sets Heads to 2"};
       }},
      {"a configuration that is a directory", 42,
       [=](const Package& p) {
         return Case{{p.root.string(), "FD", "-b", p.bs, "-f", p.root.string()},
                     "the configuration file \"" + p.root.string() + "\" is a directory"};
       }},
      {"a file time before 1980", 39,
       [=](const Package& p) {
         const struct timespec old[2] = {{0, 0}, {86400 * 365, 0}};
         ::utimensat(AT_FDCWD, (p.root / "SUB" / "B.TXT").c_str(), old, 0);
         return Case{p.Args({"-T1440"}), "the last-write time of \"" +
                                             (p.root / "SUB" / "B.TXT").string() +
                                             "\" (1971-01-01 00:00:00 UTC) cannot be held"};
       }},
      {"a link back up the tree", 22,
       [=](const Package& p) {
         fs::create_directory_symlink("..", p.root / "SUB" / "UP");
         return Case{p.Args({"-T1440"}), "the folder \"" + (p.root / "SUB" / "UP").string() +
                                             "\" leads back to \"" + p.root.string() + "\""};
       }},
  };
  // Each character Windows forbids in a name, in a long name and (for '\', a
  // character of a name on this host) in a name that needs no long one.
  for (const char c : std::string("\"*:<>?|\\\x01")) {
    const std::string name = std::string("a") + c + "b.txt";
    const bool control = c == '\x01';
    rows.push_back({std::string("a file named ") + (control ? "a\\x01b.txt" : name), 35,
                    [=](const Package& p) {
                      p.File("SUB/" + name, 10);
                      const std::string shown = (p.root / "SUB").string() + "/" +
                                                (control ? "a\\x01b.txt" : name);
                      return Case{p.Args(c == '\\' ? std::vector<std::string>{}
                                                   : std::vector<std::string>{"-L"}),
                                  "the name of \"" + shown + "\" holds " +
                                      (control ? std::string("a control character")
                                               : std::string("the character '") + c + "'")};
                    }});
  }
  return rows;
}

// Every refusal gets its code and an error line naming the cause, and changes
// nothing: the package's files are the same bytes afterwards and no image is left.
TEST(Refusals, EachNamesItsCauseAndChangesNothing) {
  for (const Refusal& row : Table()) {
    SCOPED_TRACE(row.what);
    Package pkg;
    pkg.File("A.TXT", 100);
    pkg.File("SUB/B.TXT", 10);
    const Case c = row.make(pkg);
    const auto before = vtest::TreeContents(pkg.dir.path());
    vtest::RunOptions options;
    options.tree = c.tree.get();
    const vtest::RunResult r = vtest::Run(c.args, options);
    EXPECT_EQ(r.code, row.code);
    EXPECT_EQ(r.errors.rfind("vellix: error " + std::to_string(row.code) + ": ", 0), 0u)
        << r.errors;
    EXPECT_NE(r.errors.find(c.cause), std::string::npos) << r.errors;
    EXPECT_TRUE(vtest::TreeContents(pkg.dir.path()) == before);
    EXPECT_FALSE(fs::exists(pkg.image));
  }
}

// A directory of exactly 65536 entries, long-name slots, "." and ".." included,
// is the largest FAT allows: it builds, fsck.fat passes it and mtools lists
// every name in it.
TEST(Refusals, ADirectoryOf65536EntriesStillBuilds) {
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
